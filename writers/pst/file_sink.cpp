#include "writers/pst/file_sink.h"

namespace brevik::pst {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{4} << 20;
// Forward gaps up to this size are filled with zeros instead of ending the run of the buffer.
constexpr std::uint64_t kMaxZeroFill = 64 * 1024;

}  // namespace

std::unique_ptr<FileSink> FileSink::create(const std::string& path, std::uint64_t maxBytes,
                                           WriteStatus& status) {
    native::WritableFile file;
    if (const native::IoError e = file.open(path, native::WritableFile::Mode::Truncate);
        e.failed()) {
        status =
            WriteStatus::failure(WriteError::CannotCreate, "cannot create " + path + ": " + e.text);
        return nullptr;
    }
    std::unique_ptr<FileSink> sink(new FileSink(std::move(file), maxBytes));
    sink->buffer_.reserve(kBufferBytes);
    return sink;
}

FileSink::~FileSink() = default;

bool FileSink::fail(WriteError error, std::string text) {
    if (status_.ok()) status_ = WriteStatus::failure(error, std::move(text));
    return false;
}

bool FileSink::failWith(const char* what, const native::IoError& e) {
    return fail(e.kind == native::IoErrorKind::DiskFull ? WriteError::DiskFull : WriteError::Io,
                std::string(what) + ": " + e.text);
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
    if (const native::IoError e = file_.writeAt(offset, data, length); e.failed())
        return failWith("write failed", e);
    bytesWritten_ += length;
    return true;
}

bool FileSink::finish(std::uint64_t fileSize) {
    if (!flush()) return false;
    if (maxBytes_ != 0 && fileSize > maxBytes_)
        return fail(WriteError::TooLarge, "the output would pass the size limit of " +
                                              std::to_string(maxBytes_) + " bytes");
    if (const native::IoError e = file_.resize(fileSize); e.failed())
        return failWith("cannot set the file size", e);
    if (const native::IoError e = file_.sync(); e.failed())
        return failWith("cannot flush the file to disk", e);
    if (const native::IoError e = file_.close(); e.failed())
        return failWith("cannot close the file", e);
    return true;
}

}  // namespace brevik::pst
