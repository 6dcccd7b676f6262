#include "app/backup_copy.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/app_state.h"

namespace brevik::app {

namespace {

constexpr std::size_t kChunk = 4 << 20;

// Closes a descriptor and removes the working file unless the copy was committed.
class WorkingFile {
  public:
    explicit WorkingFile(std::string pattern) : path_(std::move(pattern)) {
        fd_ = ::mkstemp(path_.data());
    }
    ~WorkingFile() {
        const bool created = fd_ != -1 || closed_;
        if (fd_ >= 0) ::close(fd_);
        if (created && !committed_) ::unlink(path_.c_str());
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    bool closeAndCommit(const std::string& destination, std::string& error) {
        const bool flushed = ::fsync(fd_) == 0;
        const int why = errno;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        closed_ = true;
        if (!flushed || !closed) {
            error = std::strerror(flushed ? errno : why);
            return false;
        }
        if (::rename(path_.c_str(), destination.c_str()) != 0) {
            error = std::strerror(errno);
            return false;
        }
        committed_ = true;
        return true;
    }

  private:
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
    bool closed_ = false;
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

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
    if (plan.destination.size() >= PATH_MAX || name.size() > NAME_MAX - 16) {
        plan.refusal = "The destination path is too long: " + plan.destination;
        return plan;
    }
    struct stat src {
    }, dst{};
    if (::stat(source.c_str(), &src) != 0) {
        plan.refusal = "Cannot read " + source + ": " + std::strerror(errno);
        return plan;
    }
    if (::stat(plan.destination.c_str(), &dst) == 0) {
        // Compared by identity, not by name: links and other spellings lead to the same file.
        if (src.st_dev == dst.st_dev && src.st_ino == dst.st_ino) {
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
    const int in = ::open(plan.source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return "Cannot read " + plan.source + ": " + std::strerror(errno);
    struct stat st {};
    ::fstat(in, &st);
    const auto total = static_cast<std::uint64_t>(st.st_size);
    std::string error;
    {
        WorkingFile out(folder + "/.~" + plan.destination.substr(slash + 1) + ".XXXXXX");
        if (out.fd() < 0) {
            error = "Cannot write in " + folder + ": " + std::strerror(errno);
        } else {
            std::vector<std::uint8_t> buffer(kChunk);
            std::uint64_t done = 0;
            int shown = -1;
            while (error.empty()) {
                if (stop.load()) {
                    error = "Canceled by user";
                    break;
                }
                const ssize_t n = ::read(in, buffer.data(), buffer.size());
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) error = "Cannot read " + plan.source + ": " + std::strerror(errno);
                if (n <= 0) break;
                if (!writeAll(out.fd(), buffer.data(), static_cast<std::size_t>(n))) {
                    error = "Cannot write " + plan.destination + ": " + std::strerror(errno);
                    break;
                }
                done += static_cast<std::uint64_t>(n);
                const int percent = total ? static_cast<int>(done * 100 / total) : 100;
                if (percent != shown && progress) progress(shown = percent);
            }
            // A backup keeps the original's permissions and dates, so that it is the same file
            // to whoever looks at it later; a folder that cannot hold them (FAT) still gets the
            // bytes.
            if (error.empty()) {
                const timespec times[2] = {st.st_atim, st.st_mtim};
                (void)::fchmod(out.fd(), st.st_mode & 07777);
                (void)::futimens(out.fd(), times);
            }
            if (error.empty() && !out.closeAndCommit(plan.destination, error))
                error = "Cannot write " + plan.destination + ": " + error;
        }
    }
    ::close(in);
    return error;
}

}  // namespace brevik::app
