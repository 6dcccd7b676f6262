#include "engine/read_window.h"

#include <algorithm>
#include <cstring>

#include "engine/message_base.h"

namespace brevik {
namespace {

thread_local ReadWindow* tInnermost = nullptr;

struct Extent {
    std::uint64_t start;
    std::uint64_t end;
};

}  // namespace

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
            e.byteCount > base_.fileSize - e.fileOffset || held(base_, e.fileOffset, e.byteCount))
            continue;
        extents.push_back({e.fileOffset, e.fileOffset + e.byteCount});
    }
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    for (std::size_t i = 0; i < extents.size();) {
        Extent run = extents[i];
        for (++i; i < extents.size() && extents[i].start <= run.end + kMaxGap &&
                  std::max(run.end, extents[i].end) - run.start <= kMaxStretch;
             ++i)
            run.end = std::max(run.end, extents[i].end);
        Bytes bytes(static_cast<std::size_t>(run.end - run.start));
        // Straight from the source: a stretch that fails must not mark the run as failed.
        if (base_.source->readExact(run.start, bytes))
            stretches_.push_back({run.start, std::move(bytes)});
    }
}

const std::uint8_t* ReadWindow::find(const MessageBase& base, std::uint64_t offset,
                                     std::size_t size) {
    for (const ReadWindow* w = tInnermost; w; w = w->outer_) {
        if (&w->base_ != &base) continue;
        for (const Stretch& s : w->stretches_)
            if (offset >= s.offset && offset - s.offset <= s.bytes.size() &&
                size <= s.bytes.size() - (offset - s.offset))
                return s.bytes.data() + (offset - s.offset);
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
