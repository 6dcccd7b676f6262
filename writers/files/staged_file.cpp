#include "writers/files/staged_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brevik::files {
namespace {

std::atomic<unsigned> counter{0};

pst::WriteStatus writeFailure(const std::string& path, int e) {
    return pst::WriteStatus::failure((e == ENOSPC || e == EFBIG || e == EDQUOT)
                                         ? pst::WriteError::DiskFull
                                         : pst::WriteError::Io,
                                     "cannot write " + path + ": " + std::strerror(e));
}

}  // namespace

StagedFile::~StagedFile() {
    discard();
}

void StagedFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!working_.empty()) ::unlink(working_.c_str());
    working_.clear();
}

pst::WriteStatus StagedFile::open(const std::string& folder) {
    discard();
    folder_ = folder;
    for (int attempt = 0; attempt < 100; ++attempt) {
        working_ = folder + "/_brevik_" + std::to_string(::getpid()) + "_" +
                   std::to_string(counter.fetch_add(1)) + ".tmp";
        fd_ = ::open(working_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0) return {};
        if (errno != EEXIST) break;
    }
    const int e = errno;
    const std::string path = working_;
    working_.clear();
    return pst::WriteStatus::failure(pst::WriteError::CannotCreate,
                                     "cannot create " + path + ": " + std::strerror(e));
}

pst::WriteStatus StagedFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const pst::WriteStatus status = writeFailure(working_, n < 0 ? errno : ENOSPC);
            discard();
            return status;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

pst::WriteStatus StagedFile::commit(const std::string& name) {
    const std::string destination = folder_ + "/" + name;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const pst::WriteStatus status = writeFailure(working_, errno);
        discard();
        return status;
    }
    if (::rename(working_.c_str(), destination.c_str()) != 0) {
        const int e = errno;
        discard();
        return pst::WriteStatus::failure(
            pst::WriteError::Io,
            "cannot move the file to " + destination + ": " + std::strerror(e));
    }
    working_.clear();
    return {};
}

pst::WriteStatus writeStaged(const std::string& folder, const std::string& name,
                             std::string_view bytes) {
    StagedFile file;
    pst::WriteStatus status = file.open(folder);
    if (status.ok()) status = file.write(bytes);
    if (status.ok()) status = file.commit(name);
    return status;
}

}  // namespace brevik::files
