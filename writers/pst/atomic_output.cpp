#include "writers/pst/atomic_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "engine/bytes.h"

namespace brevik::pst {
namespace fs = std::filesystem;

namespace {

std::atomic<unsigned> workingCounter{0};

std::string uniqueWorkingName(const std::string& destination) {
    return "_" + fs::path(destination).filename().string() + "." + std::to_string(::getpid()) +
           "." + std::to_string(workingCounter.fetch_add(1));
}

// Copies `from` to `to` and syncs it; removes `to` on failure.
WriteStatus copyFile(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return WriteStatus::failure(WriteError::Io, "cannot read " + from);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return WriteStatus::failure(WriteError::CannotCreate,
                                    "cannot create " + to + ": " + std::strerror(errno));
    }
    WriteStatus status;
    Bytes buffer(std::size_t{1} << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            status = WriteStatus::failure(WriteError::Io, "cannot read " + from);
            break;
        }
        if (n == 0) break;
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w =
                ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                const int e = w < 0 ? errno : ENOSPC;
                status = WriteStatus::failure(
                    (e == ENOSPC || e == EFBIG) ? WriteError::DiskFull : WriteError::Io,
                    "cannot write " + to + ": " + std::strerror(e));
                break;
            }
            done += w;
        }
        if (!status.ok()) break;
    }
    if (status.ok() && ::fsync(out) != 0)
        status = WriteStatus::failure(WriteError::Io, "cannot flush " + to);
    ::close(in);
    if (::close(out) != 0 && status.ok())
        status = WriteStatus::failure(WriteError::Io, "cannot close " + to);
    if (!status.ok()) ::unlink(to.c_str());
    return status;
}

}  // namespace

WriteStatus prepareFolder(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec))
        return WriteStatus::failure(
            WriteError::CannotCreate,
            "cannot create the folder " + folder + (ec ? ": " + ec.message() : std::string()));
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return WriteStatus::failure(
            WriteError::CannotCreate,
            "cannot write in the folder " + folder + ": " + std::strerror(errno));
    return {};
}

AtomicOutput::AtomicOutput(std::string destination, std::string tempFolder)
    : destination_(std::move(destination)), tempFolder_(std::move(tempFolder)) {
    if (tempFolder_.empty()) {
        tempFolder_ = fs::path(destination_).parent_path().string();
        if (tempFolder_.empty()) tempFolder_ = ".";
    }
    working_ = (fs::path(tempFolder_) / uniqueWorkingName(destination_)).string();
}

AtomicOutput::~AtomicOutput() {
    if (!committed_) discard();
}

WriteStatus AtomicOutput::prepare() {
    return prepareFolder(tempFolder_);
}

void AtomicOutput::discard() {
    ::unlink(working_.c_str());
}

WriteStatus AtomicOutput::commit() {
    if (::rename(working_.c_str(), destination_.c_str()) == 0) {
        committed_ = true;
        return {};
    }
    if (errno != EXDEV)
        return WriteStatus::failure(WriteError::Io, "cannot move the file to " + destination_ +
                                                        ": " + std::strerror(errno));
    const fs::path dest(destination_);
    const std::string staged = (dest.parent_path() / uniqueWorkingName(destination_)).string();
    WriteStatus status = copyFile(working_, staged);
    if (!status.ok()) return status;
    if (::rename(staged.c_str(), destination_.c_str()) != 0) {
        const int e = errno;
        ::unlink(staged.c_str());
        return WriteStatus::failure(
            WriteError::Io, "cannot move the file to " + destination_ + ": " + std::strerror(e));
    }
    discard();
    committed_ = true;
    return {};
}

}  // namespace brevik::pst
