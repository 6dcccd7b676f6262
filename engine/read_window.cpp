#include "engine/read_window.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_source.h"
#include "engine/message_base.h"
#include "engine/ndb_format.h"

namespace brevik {
namespace {

thread_local ReadWindow* tInnermost = nullptr;

struct Extent {
    std::uint64_t start;
    std::uint64_t end;
};

}  // namespace

bool ReadWindow::holds(const Stretch& s, std::uint64_t offset, std::size_t size) {
    return offset >= s.offset && offset - s.offset <= s.size &&
           size <= s.size - (offset - s.offset);
}

ReadWindow::ReadWindow(MessageBase& base) : base_(base), outer_(tInnermost) {
    tInnermost = this;
}

ReadWindow::~ReadWindow() {
    tInnermost = outer_;
}

void ReadWindow::readBlocks(std::span<const BlockIndex> blocks) {
    if (!base_.source) return;
    std::vector<Extent> extents;
    extents.reserve(blocks.size());
    for (const BlockIndex b : blocks) {
        if (b < 0 || static_cast<std::size_t>(b) >= base_.blockTable.size()) continue;
        const BlockEntry& e = base_.blockTable[b];
        if (e.byteCount == 0 || e.fileOffset > base_.fileSize ||
            e.byteCount > base_.fileSize - e.fileOffset)
            continue;
        // The trailer too, which the checks of an item's blocks read.
        const std::uint64_t extent =
            base_.layout.blockAlignment ? ndb::blockExtent(e.byteCount, base_.layout) : e.byteCount;
        const std::uint64_t size = std::min(extent, base_.fileSize - e.fileOffset);
        if (held(base_, e.fileOffset, size)) continue;
        extents.push_back({e.fileOffset, e.fileOffset + size});
    }
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    const std::size_t before = stretches_.size();
    for (std::size_t i = 0; i < extents.size();) {
        Extent run = extents[i];
        for (++i; i < extents.size() && extents[i].start <= run.end + kMaxGap &&
                  std::max(run.end, extents[i].end) - run.start <= kMaxStretch;
             ++i)
            run.end = std::max(run.end, extents[i].end);
        const auto size = static_cast<std::size_t>(run.end - run.start);
        stretches_.push_back(
            {run.start, size, std::make_unique_for_overwrite<std::uint8_t[]>(size)});
    }
    std::vector<BatchRead> batch;
    batch.reserve(stretches_.size() - before);
    for (std::size_t k = before; k < stretches_.size(); ++k)
        batch.push_back({stretches_[k].offset, {stretches_[k].bytes.get(), stretches_[k].size}});
    // Straight from the source: a stretch that fails must not mark the run as failed.
    base_.source->readBatch(batch);
    std::size_t kept = before;
    for (std::size_t k = before; k < stretches_.size(); ++k)
        if (batch[k - before].ok) stretches_[kept++] = std::move(stretches_[k]);
    stretches_.resize(kept);
    if (before > 0)
        std::inplace_merge(stretches_.begin(),
                           stretches_.begin() + static_cast<std::ptrdiff_t>(before),
                           stretches_.end(),
                           [](const Stretch& a, const Stretch& b) { return a.offset < b.offset; });
    std::uint64_t reach = 0;
    for (Stretch& s : stretches_) {
        reach = std::max(reach, s.offset + s.size);
        s.reach = reach;
    }
}

const std::uint8_t* ReadWindow::find(const MessageBase& base, std::uint64_t offset,
                                     std::size_t size) {
    for (const ReadWindow* w = tInnermost; w; w = w->outer_) {
        if (&w->base_ != &base) continue;
        const auto& v = w->stretches_;
        // An item's reads mostly fall in the stretch of the read before, or the one after it.
        for (std::size_t k = w->lastHit_; k < v.size() && k <= w->lastHit_ + 1; ++k)
            if (holds(v[k], offset, size)) {
                w->lastHit_ = k;
                return v[k].bytes.get() + (offset - v[k].offset);
            }
        // The stretches that start at or before `offset`, nearest first, while any of them
        // reaches far enough: a block that no stretch holds costs a search, not a walk.
        auto it = std::upper_bound(v.begin(), v.end(), offset,
                                   [](std::uint64_t o, const Stretch& s) { return o < s.offset; });
        while (it != v.begin()) {
            --it;
            if (it->reach < offset || it->reach - offset < size) break;
            if (holds(*it, offset, size)) {
                w->lastHit_ = static_cast<std::size_t>(it - v.begin());
                return it->bytes.get() + (offset - it->offset);
            }
        }
    }
    return nullptr;
}

bool ReadWindow::held(const MessageBase& base, std::uint64_t offset, std::size_t size) {
    return find(base, offset, size) != nullptr;
}

bool ReadWindow::serve(const MessageBase& base, std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::uint8_t* at = find(base, offset, out.size());
    if (at && !out.empty()) std::memcpy(out.data(), at, out.size());
    return at != nullptr;
}

}  // namespace brevik
