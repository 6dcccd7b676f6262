// Positioned, thread-safe reads of the file being recovered. The file itself is never written.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/bytes.h"

namespace brevik {

// One read of a batch: fills `out` from `offset`; `ok` tells whether all of it was read.
struct BatchRead {
    std::uint64_t offset = 0;
    std::span<std::uint8_t> out;
    bool ok = false;
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Fills all of `out` from `offset`; false when the range cannot be read in full.
    // Implementations keep no per-call state, so concurrent calls are safe.
    virtual bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
    // Many reads at once, each as readExact would do it. A file does them in few system calls.
    virtual void readBatch(std::span<BatchRead> reads) const {
        for (BatchRead& r : reads)
            r.ok = readExact(r.offset, r.out);
    }
    // A hint that [offset, offset + length) will be read soon: a file starts reading it in the
    // background, so that a pass waiting on a cold disk overlaps its reads. Never fails.
    virtual void willNeed(std::uint64_t offset, std::uint64_t length) const {
        (void)offset;
        (void)length;
    }
};

// A file opened read-only; the descriptor is closed by the destructor only.
class FileSource final : public ByteSource {
  public:
    // Opens `path` read-only. On failure returns null and sets `errorText` (errno's message).
    static std::unique_ptr<FileSource> open(const std::string& path, std::string* errorText);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::uint64_t size() const override { return size_; }
    bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    // Through an io_uring of the calling thread where the system offers one: a read from the
    // page cache then costs half as much. Elsewhere, and for what a ring leaves short, pread.
    void readBatch(std::span<BatchRead> reads) const override;
    void willNeed(std::uint64_t offset, std::uint64_t length) const override;

  private:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    // Whether the byte at `offset` is in memory already; false when the system cannot say.
    bool cached(std::uint64_t offset) const;

    int fd_;
    std::uint64_t size_;
    mutable std::atomic<bool> canAskCache_{true};
    // Announced ranges found in memory one after another. Each look costs three system calls,
    // more than the reads of a short range: once a file has shown itself to be in memory, only
    // every kSampleEvery-th range is looked at, and the first one found missing starts over.
    mutable std::atomic<std::uint32_t> cachedStreak_{0};
    static constexpr std::uint32_t kTrustAfter = 32;
    static constexpr std::uint32_t kSampleEvery = 8;
};

// An in-memory image: tests, fuzzers and damage simulations never touch the disk.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(Bytes image) : image_(std::move(image)) {}
    std::uint64_t size() const override { return image_.size(); }
    bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    const Bytes& image() const { return image_; }

  private:
    Bytes image_;
};

}  // namespace brevik
