#include "engine/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace brevik {

std::unique_ptr<FileSource> FileSource::open(const std::string& path, std::string* errorText) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errorText) *errorText = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (errorText) *errorText = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        if (errorText) *errorText = "is a directory";
        ::close(fd);
        return nullptr;
    }
    off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) {
        if (errorText) *errorText = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<std::uint64_t>(end)));
}

FileSource::~FileSource() {
    ::close(fd_);
}

bool FileSource::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > size_ || out.size() > size_ - offset) return false;
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void FileSource::willNeed(std::uint64_t offset, std::uint64_t length) const {
    if (offset >= size_ || length == 0) return;
    ::posix_fadvise(fd_, static_cast<off_t>(offset),
                    static_cast<off_t>(std::min(length, size_ - offset)), POSIX_FADV_WILLNEED);
}

bool MemorySource::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > image_.size() || out.size() > image_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), image_.data() + offset, out.size());
    return true;
}

}  // namespace brevik
