#include "writers/pst/atomic_output.h"

#include <algorithm>
#include <atomic>

#include "engine/byte_source.h"
#include "engine/bytes.h"
#include "engine/native_files.h"

namespace brevik::pst {
namespace {

std::atomic<unsigned> workingCounter{0};

std::string uniqueWorkingName(const std::string& destination) {
    return "_" + native::utf8FromPath(native::pathFromUtf8(destination).filename()) + "." +
           std::to_string(native::processId()) + "." + std::to_string(workingCounter.fetch_add(1));
}

// `path`'s folder and a name in it, as UTF-8.
std::string folderOf(const std::string& path) {
    return native::utf8FromPath(native::pathFromUtf8(path).parent_path());
}
std::string joined(const std::string& folder, const std::string& name) {
    return native::utf8FromPath(native::pathFromUtf8(folder) / native::pathFromUtf8(name));
}

// Copies `from` to `to` and syncs it; removes `to` on failure.
WriteStatus copyFile(const std::string& from, const std::string& to) {
    std::string why;
    const auto in = FileSource::open(from, &why);
    if (!in) return WriteStatus::failure(WriteError::Io, "cannot read " + from);
    native::WritableFile out;
    if (const native::IoError e = out.open(to, native::WritableFile::Mode::Truncate); e.failed())
        return WriteStatus::failure(WriteError::CannotCreate,
                                    "cannot create " + to + ": " + e.text);
    WriteStatus status;
    Bytes buffer(std::size_t{1} << 20);
    for (std::uint64_t at = 0; at < in->size() && status.ok();) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), in->size() - at));
        if (!in->readExact(at, std::span(buffer.data(), n))) {
            status = WriteStatus::failure(WriteError::Io, "cannot read " + from);
        } else if (const native::IoError e = out.append(buffer.data(), n); e.failed()) {
            status = WriteStatus::failure(
                e.kind == native::IoErrorKind::DiskFull ? WriteError::DiskFull : WriteError::Io,
                "cannot write " + to + ": " + e.text);
        }
        at += n;
    }
    if (status.ok() && out.sync().failed())
        status = WriteStatus::failure(WriteError::Io, "cannot flush " + to);
    if (out.close().failed() && status.ok())
        status = WriteStatus::failure(WriteError::Io, "cannot close " + to);
    if (!status.ok()) native::removeFile(to);
    return status;
}

}  // namespace

WriteStatus prepareFolder(const std::string& folder) {
    if (const native::IoError e = native::makeFolders(folder); e.failed())
        return WriteStatus::failure(
            WriteError::CannotCreate,
            "cannot create the folder " + folder + (e.text.empty() ? "" : ": " + e.text));
    if (const native::IoError e = native::checkWritableFolder(folder); e.failed())
        return WriteStatus::failure(WriteError::CannotCreate,
                                    "cannot write in the folder " + folder + ": " + e.text);
    return {};
}

AtomicOutput::AtomicOutput(std::string destination, std::string tempFolder)
    : destination_(std::move(destination)), tempFolder_(std::move(tempFolder)) {
    if (tempFolder_.empty()) {
        tempFolder_ = folderOf(destination_);
        if (tempFolder_.empty()) tempFolder_ = ".";
    }
    working_ = joined(tempFolder_, uniqueWorkingName(destination_));
}

AtomicOutput::~AtomicOutput() {
    if (!committed_) discard();
}

WriteStatus AtomicOutput::prepare() {
    return prepareFolder(tempFolder_);
}

void AtomicOutput::discard() {
    native::removeFile(working_);
}

WriteStatus AtomicOutput::commit() {
    const native::IoError moved = native::renameReplace(working_, destination_);
    if (!moved.failed()) {
        committed_ = true;
        return {};
    }
    if (moved.kind != native::IoErrorKind::CrossDevice)
        return WriteStatus::failure(WriteError::Io,
                                    "cannot move the file to " + destination_ + ": " + moved.text);
    const std::string staged = joined(folderOf(destination_), uniqueWorkingName(destination_));
    WriteStatus status = copyFile(working_, staged);
    if (!status.ok()) return status;
    if (const native::IoError e = native::renameReplace(staged, destination_); e.failed()) {
        native::removeFile(staged);
        return WriteStatus::failure(WriteError::Io,
                                    "cannot move the file to " + destination_ + ": " + e.text);
    }
    discard();
    committed_ = true;
    return {};
}

}  // namespace brevik::pst
