#include "writers/pst/file_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brevik::pst {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{4} << 20;
// Forward gaps up to this size are filled with zeros instead of ending the run of the buffer.
constexpr std::uint64_t kMaxZeroFill = 64 * 1024;

}  // namespace

std::unique_ptr<FileSink> FileSink::create(const std::string& path, std::uint64_t maxBytes,
                                           WriteStatus& status) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        status = WriteStatus::failure(WriteError::CannotCreate,
                                      "cannot create " + path + ": " + std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<FileSink> sink(new FileSink(fd, maxBytes));
    sink->buffer_.reserve(kBufferBytes);
    return sink;
}

FileSink::~FileSink() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileSink::fail(WriteError error, std::string text) {
    if (status_.ok()) status_ = WriteStatus::failure(error, std::move(text));
    return false;
}

bool FileSink::failFromErrno(const char* what) {
    const int e = errno;
    const WriteError kind =
        (e == ENOSPC || e == EFBIG || e == EDQUOT) ? WriteError::DiskFull : WriteError::Io;
    return fail(kind, std::string(what) + ": " + std::strerror(e));
}

bool FileSink::write(std::uint64_t offset, ByteView data) {
    if (!status_.ok()) return false;
    if (maxBytes_ != 0 && (offset > maxBytes_ || data.size() > maxBytes_ - offset))
        return fail(WriteError::TooLarge, "the output would pass the size limit of " +
                                              std::to_string(maxBytes_) + " bytes");
    const std::uint64_t bufferEnd = bufferStart_ + buffer_.size();
    if (offset >= bufferEnd && offset - bufferEnd <= kMaxZeroFill) {
        buffer_.resize(static_cast<std::size_t>(offset - bufferStart_));
    } else if (offset >= bufferEnd || offset + data.size() <= bufferStart_) {
        // Not a continuation: start a new run (forward) or write through (backward).
        if (!flush()) return false;
        if (offset < bufferStart_) return writeOut(offset, data.data(), data.size());
        bufferStart_ = offset;
    } else {
        // Overlaps the pending run: patch what falls inside, write the rest through.
        if (!flush()) return false;
        return writeOut(offset, data.data(), data.size());
    }
    buffer_.insert(buffer_.end(), data.begin(), data.end());
    if (buffer_.size() >= kBufferBytes) return flush();
    return true;
}

bool FileSink::flush() {
    if (buffer_.empty()) return status_.ok();
    const bool ok = writeOut(bufferStart_, buffer_.data(), buffer_.size());
    bufferStart_ += buffer_.size();
    buffer_.clear();
    return ok;
}

bool FileSink::writeOut(std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::pwrite(fd_, data, length, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return failFromErrno("write failed");
        }
        if (n == 0) {
            errno = ENOSPC;
            return failFromErrno("write failed");
        }
        data += n;
        length -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
        bytesWritten_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool FileSink::finish(std::uint64_t fileSize) {
    if (!flush()) return false;
    if (maxBytes_ != 0 && fileSize > maxBytes_)
        return fail(WriteError::TooLarge, "the output would pass the size limit of " +
                                              std::to_string(maxBytes_) + " bytes");
    if (::ftruncate(fd_, static_cast<off_t>(fileSize)) != 0)
        return failFromErrno("cannot set the file size");
    if (::fsync(fd_) != 0) return failFromErrno("cannot flush the file to disk");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return failFromErrno("cannot close the file");
    return true;
}

}  // namespace brevik::pst
