#include "engine/range_reader.h"

#include <algorithm>

namespace brevik {
namespace {

// A read costs about as much as copying a few kilobytes: ranges closer than this are read
// together with the bytes between them, up to a window of kMaxWindow.
constexpr std::uint64_t kMaxGap = 8u << 10;
constexpr std::uint64_t kMaxWindow = 1u << 20;
// How far ahead of the window the file is told what comes: on a cold disk the reads then overlap
// the work instead of waiting one after the other.
constexpr std::uint64_t kReadAhead = 8u << 20;

}  // namespace

RangeReader::RangeReader(MessageBase& base, std::vector<FileRange> ranges)
    : base_(base), ranges_(std::move(ranges)) {}

void RangeReader::fill(std::size_t i) {
    const std::uint64_t start = ranges_[i].offset;
    std::uint64_t end = start + ranges_[i].size;
    std::size_t j = i + 1;
    for (; j < ranges_.size(); ++j) {
        const FileRange& r = ranges_[j];
        if (r.offset < start || r.offset > end + kMaxGap) break;
        if (r.offset + r.size - start > kMaxWindow || r.offset + r.size > base_.fileSize) break;
        end = std::max<std::uint64_t>(end, r.offset + r.size);
    }
    // The ranges that follow in file order, a megabyte or more at a time. The scan resumes where
    // the last one stopped, so each range is looked at about once however many windows there are.
    hintScan_ = std::max(hintScan_, j);
    for (; hintScan_ < ranges_.size(); ++hintScan_) {
        const FileRange& r = ranges_[hintScan_];
        if (r.offset < end || r.offset >= end + kReadAhead) break;
        scannedEnd_ = std::max<std::uint64_t>(scannedEnd_, r.offset + r.size);
    }
    const std::uint64_t from = std::max(end, hintedUpTo_);
    if (scannedEnd_ >= from + kMaxWindow) {
        base_.willNeed(from, scannedEnd_ - from);
        hintedUpTo_ = scannedEnd_;
    }
    windowSize_ = static_cast<std::size_t>(end - start);
    if (windowSize_ > windowCapacity_) {
        window_ = std::make_unique_for_overwrite<std::uint8_t[]>(windowSize_);
        windowCapacity_ = windowSize_;
    }
    windowStart_ = start;
    // A failed shared read leaves no trace: each range is then read alone and fails or not as
    // it would have on its own.
    const std::uint32_t error = base_.errorCode.load();
    if (!base_.readAt(start, std::span(window_.get(), windowSize_))) {
        windowSize_ = 0;
        base_.errorCode.store(error);
    }
}

ByteView RangeReader::read(std::size_t i) {
    if (i >= ranges_.size() || ranges_[i].size == 0) return {};
    const FileRange& r = ranges_[i];
    // A range that runs past the end of the file is read alone, to fail as it always did.
    if (r.offset > base_.fileSize || r.size > base_.fileSize - r.offset) {
        single_ = base_.readAt(r.offset, r.size);
        return single_;
    }
    const auto inWindow = [&] {
        return r.offset >= windowStart_ && r.offset - windowStart_ + r.size <= windowSize_;
    };
    if (!inWindow()) fill(i);
    if (inWindow()) return ByteView(window_.get() + (r.offset - windowStart_), r.size);
    // The shared read failed: this range alone may still be readable.
    single_ = base_.readAt(r.offset, r.size);
    return single_;
}

}  // namespace brevik
