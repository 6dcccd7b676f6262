// Positioned, thread-safe reads of the file being recovered. The file itself is never written.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

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

// A file opened read-only, shared with other programs that may hold it open (Outlook may still
// write it); the handle is closed by the destructor only.
class FileSource final : public ByteSource {
  public:
    // Opens `path` (UTF-8) read-only. On failure returns null and sets `errorText` (the
    // system's message).
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
    FileSource(std::intptr_t file, std::uint64_t size) : file_(file), size_(size) {}
    // Whether the byte at `offset` is in memory already; false when the system cannot say.
    bool cached(std::uint64_t offset) const;

    std::intptr_t file_;  // a descriptor, or a HANDLE on Windows
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

// Another source, or an image, whose reads fail on demand: the read errors, truncations and
// missing ranges of a damaged disk, and a Stop at a chosen read, without touching the disk.
// A read that runs into a failure fills what lies before it and returns false, as a short
// read would. Reads may come from several threads at once; the conditions may be changed
// while they run, the hook only before the first read.
class FailingSource final : public ByteSource {
  public:
    static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
    // A range of the file, as announced to willNeed.
    struct Range {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        bool operator==(const Range&) const = default;
    };

    explicit FailingSource(std::unique_ptr<ByteSource> inner) : inner_(std::move(inner)) {}
    explicit FailingSource(Bytes image)
        : inner_(std::make_unique<MemorySource>(std::move(image))) {}

    // Every byte at or past `offset` fails to read, as if the file ended there.
    FailingSource& failFrom(std::uint64_t offset);
    // The first `count` reads are served; every later one fails.
    FailingSource& failAfterReads(std::uint64_t count);
    // The first `count` bytes asked for are served; a read reaching past them comes back short.
    FailingSource& failAfterBytes(std::uint64_t count);
    // Reads touching [offset, offset + length) fail: a bad sector, an unreadable stretch.
    FailingSource& failRange(std::uint64_t offset, std::uint64_t length);
    // Called with each read's number (from 1) before it is served: a Stop mid-run, a delay.
    FailingSource& onRead(std::function<void(std::uint64_t)> hook);

    std::uint64_t size() const override { return inner_->size(); }
    bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    void willNeed(std::uint64_t offset, std::uint64_t length) const override;

    // Reads that reached this source, and those of them that failed.
    std::uint64_t reads() const { return reads_.load(); }
    std::uint64_t failedReads() const { return failed_.load(); }
    // The ranges announced through willNeed, in order.
    std::vector<Range> hints() const;

  private:
    std::unique_ptr<ByteSource> inner_;
    std::function<void(std::uint64_t)> hook_;
    std::atomic<std::uint64_t> failFrom_{kNever};
    std::atomic<std::uint64_t> readsAllowed_{kNever};
    std::atomic<std::uint64_t> bytesAllowed_{kNever};
    mutable std::atomic<std::uint64_t> reads_{0};
    mutable std::atomic<std::uint64_t> failed_{0};
    mutable std::atomic<std::uint64_t> bytesAsked_{0};
    mutable std::mutex mutex_;  // guards the two lists below
    std::vector<Range> badRanges_;
    mutable std::vector<Range> hints_;
};

}  // namespace brevik
