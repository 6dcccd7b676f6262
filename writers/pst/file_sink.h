// The output file of a writer: positioned writes, buffered while they run forward, with an
// optional size limit. The first failure sticks; later calls do nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/bytes.h"
#include "engine/native_files.h"
#include "writers/pst/write_status.h"

namespace brevik::pst {

class FileSink {
  public:
    // Creates (or truncates) `path`. `maxBytes` 0 means no limit of our own.
    static std::unique_ptr<FileSink> create(const std::string& path, std::uint64_t maxBytes,
                                            WriteStatus& status);
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool write(std::uint64_t offset, ByteView data);
    // Flushes, sets the final size and syncs the file to the device.
    bool finish(std::uint64_t fileSize);
    const WriteStatus& status() const { return status_; }
    std::uint64_t bytesWritten() const { return bytesWritten_; }

  private:
    FileSink(native::WritableFile file, std::uint64_t maxBytes)
        : file_(std::move(file)), maxBytes_(maxBytes) {}
    bool flush();
    bool writeOut(std::uint64_t offset, const std::uint8_t* data, std::size_t length);
    bool fail(WriteError error, std::string text);
    bool failWith(const char* what, const native::IoError& e);

    native::WritableFile file_;
    std::uint64_t maxBytes_;
    std::uint64_t bufferStart_ = 0;
    Bytes buffer_;
    std::uint64_t bytesWritten_ = 0;
    WriteStatus status_;
};

}  // namespace brevik::pst
