#include "engine/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
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

bool FileSource::cached(std::uint64_t offset) const {
    if (!canAskCache_.load(std::memory_order_relaxed)) return false;
    std::uint8_t byte;
    iovec part{&byte, 1};
    const ssize_t n = ::preadv2(fd_, &part, 1, static_cast<off_t>(offset), RWF_NOWAIT);
    if (n < 0 && (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL))
        canAskCache_.store(false, std::memory_order_relaxed);
    return n == 1;
}

void FileSource::willNeed(std::uint64_t offset, std::uint64_t length) const {
    if (offset >= size_ || length == 0) return;
    length = std::min(length, size_ - offset);
    // A hint walks the page cache over the whole range, which costs more than the reads it
    // helps when the file is in memory already: a range whose first, middle and last bytes are
    // there is taken to be there.
    const std::uint32_t streak = cachedStreak_.load(std::memory_order_relaxed);
    if (streak >= kTrustAfter && streak % kSampleEvery != 0) {
        cachedStreak_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (cached(offset) && cached(offset + length / 2) && cached(offset + length - 1)) {
        cachedStreak_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    cachedStreak_.store(0, std::memory_order_relaxed);
    ::posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(length),
                    POSIX_FADV_WILLNEED);
}

bool MemorySource::readExact(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (offset > image_.size() || out.size() > image_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), image_.data() + offset, out.size());
    return true;
}

}  // namespace brevik
