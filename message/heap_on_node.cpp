#include "message/heap_on_node.h"

#include <algorithm>

namespace brevik {
namespace {}  // namespace

HeapImage HeapImage::fromNodeData(NodeData data) {
    HeapImage heap;
    heap.bytes = std::move(data.bytes);
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.blockLengths.size(); ++i) {
        const std::uint32_t len = data.blockLengths[i];
        if (len > heap.bytes.size() - start) break;
        heap.blockStarts.push_back(start);
        heap.blockLengths.push_back(len);
        heap.blockFileOffsets.push_back(i < data.blockFileOffsets.size() ? data.blockFileOffsets[i]
                                                                         : 0);
        start += len;
    }
    return heap;
}

std::optional<std::uint64_t> HeapImage::fileOffsetOf(std::size_t pos) const {
    auto it = std::upper_bound(blockStarts.begin(), blockStarts.end(), pos);
    if (it == blockStarts.begin()) return std::nullopt;
    const std::size_t i = static_cast<std::size_t>(it - blockStarts.begin()) - 1;
    if (pos - blockStarts[i] >= blockLengths[i]) return std::nullopt;
    return blockFileOffsets[i] + (pos - blockStarts[i]);
}

std::optional<Allocation> findAllocation(const HeapImage& heap, std::uint32_t hid) {
    if ((hid & ltp::kHidTypeMask) != 0) return std::nullopt;
    const std::uint32_t block = ltp::hidBlock(hid, heap.hidBlockShift);
    const std::uint32_t index = ltp::hidIndex(hid, heap.hidBlockShift);
    if (index == 0 || block >= heap.blockCount()) return std::nullopt;

    const ByteView all(heap.bytes);
    const std::size_t blockStart = heap.blockStarts[block];
    const ByteView data = all.subspan(blockStart, heap.blockLengths[block]);
    // Every heap block starts with the offset of its own page map.
    if (!fits(data, 0, 2)) return std::nullopt;
    const std::size_t pageMap = load16(data.data());
    if (!fits(data, pageMap, ltp::kPageMapHeaderSize)) return std::nullopt;
    const std::uint32_t allocCount = load16(data.data() + pageMap);
    if (index > allocCount) return std::nullopt;
    // rgibAlloc[index - 1] and rgibAlloc[index] bound the allocation.
    const std::size_t entry = pageMap + ltp::kPageMapHeaderSize + (index - 1) * 2;
    if (!fits(data, entry, 4)) return std::nullopt;
    const std::size_t start = load16(data.data() + entry);
    const std::size_t end = load16(data.data() + entry + 2);
    if (start > end || end > data.size()) return std::nullopt;
    return Allocation{block, blockStart + start, blockStart + end};
}

}  // namespace brevik
