#include "app/backup_copy.h"

#include <algorithm>
#include <span>
#include <vector>

#include "app/app_state.h"
#include "engine/byte_source.h"
#include "engine/native_files.h"

namespace brevik::app {

namespace {

constexpr std::size_t kChunk = 4 << 20;
// The longest path and name the copy takes: what Linux allows, and Windows with long paths on.
constexpr std::size_t kMaxPath = 4096;
constexpr std::size_t kMaxName = 255;

// The copy under a working name in the destination folder, removed unless it was committed.
class WorkingFile {
  public:
    explicit WorkingFile(const std::string& stem) {
        for (unsigned n = 0; n < 1000; ++n) {
            path_ = stem + "." + std::to_string(native::processId()) + "-" + std::to_string(n);
            error_ = file_.open(path_, native::WritableFile::Mode::Exclusive);
            if (error_.kind != native::IoErrorKind::Exists) break;
        }
    }
    ~WorkingFile() {
        if (file_.isOpen()) file_.close();
        if (!committed_ && !error_.failed()) native::removeFile(path_);
    }
    bool opened() const { return file_.isOpen(); }
    const native::IoError& openError() const { return error_; }
    native::WritableFile& file() { return file_; }
    // Flushes, closes and renames the copy to `destination`; false with `error` set on failure.
    bool closeAndCommit(const std::string& destination, std::string& error) {
        native::IoError e = file_.sync();
        if (const native::IoError closed = file_.close(); !e.failed()) e = closed;
        if (!e.failed()) e = native::renameReplace(path_, destination);
        if (e.failed()) {
            error = e.text;
            return false;
        }
        committed_ = true;
        return true;
    }

  private:
    std::string path_;
    native::WritableFile file_;
    native::IoError error_;
    bool committed_ = false;
};

}  // namespace

CopyPlan planCopy(const std::string& source, const std::string& folder) {
    CopyPlan plan;
    plan.source = source;
    if (folder.empty()) {
        plan.refusal = "Choose the folder to copy the file to.";
        return plan;
    }
    const std::size_t slash = source.find_last_of('/');
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    plan.destination = (dir == "/" ? "" : dir) + "/" + name;
    if (plan.destination.size() >= kMaxPath || name.size() > kMaxName - 16) {
        plan.refusal = "The destination path is too long: " + plan.destination;
        return plan;
    }
    const std::string sourceId = native::fileIdentity(source);
    if (sourceId.empty()) {
        std::string why;
        if (!FileSource::open(source, &why)) {
            plan.refusal = "Cannot read " + source + ": " + why;
            return plan;
        }
    }
    if (native::fileKind(plan.destination) != native::FileKind::Missing) {
        // Compared by identity, not by name: links and other spellings lead to the same file.
        if (!sourceId.empty() && native::fileIdentity(plan.destination) == sourceId) {
            plan.refusal =
                "The chosen folder holds the original file itself; choose another "
                "folder for the copy.";
            return plan;
        }
        plan.replaces = true;
    }
    return plan;
}

std::string copyForBackup(const CopyPlan& plan, const std::atomic<bool>& stop,
                          const std::function<void(int)>& progress) {
    if (!plan.refusal.empty()) return plan.refusal;
    const std::size_t slash = plan.destination.find_last_of('/');
    const std::string folder = slash == 0 ? "/" : plan.destination.substr(0, slash);
    makePath(folder);
    std::string why;
    const std::unique_ptr<FileSource> in = FileSource::open(plan.source, &why);
    if (!in) return "Cannot read " + plan.source + ": " + why;
    const std::uint64_t total = in->size();
    std::string error;
    WorkingFile out(folder + "/.~" + plan.destination.substr(slash + 1));
    if (!out.opened()) return "Cannot write in " + folder + ": " + out.openError().text;
    std::vector<std::uint8_t> buffer(kChunk);
    std::uint64_t done = 0;
    int shown = -1;
    while (done < total) {
        if (stop.load()) return "Canceled by user";
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, total - done));
        if (!in->readExact(done, std::span(buffer.data(), n)))
            return "Cannot read " + plan.source + ": the read failed";
        if (const native::IoError e = out.file().append(buffer.data(), n); e.failed())
            return "Cannot write " + plan.destination + ": " + e.text;
        done += n;
        const int percent = static_cast<int>(done * 100 / total);
        if (percent != shown && progress) progress(shown = percent);
    }
    // A backup keeps the original's permissions and dates, so that it is the same file to
    // whoever looks at it later; a folder that cannot hold them (FAT) still gets the bytes.
    (void)out.file().copyAttributesFrom(plan.source);
    if (!out.closeAndCommit(plan.destination, error))
        return "Cannot write " + plan.destination + ": " + error;
    return {};
}

}  // namespace brevik::app
