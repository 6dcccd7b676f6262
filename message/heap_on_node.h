// The heap-on-node ([MS-PST] HN) of a node's data: allocations named by HIDs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/bytes.h"
#include "engine/ltp_format.h"
#include "message/node_data.h"

namespace brevik {

// The joined heap blocks of one node. Positions are byte offsets into `bytes`, kept as size_t so
// heaps over 64 KiB resolve correctly.
struct HeapImage {
    Bytes bytes;
    std::vector<std::size_t> blockStarts;         // where each heap block begins in `bytes`
    std::vector<std::uint32_t> blockLengths;      // length of each heap block
    std::vector<std::uint64_t> blockFileOffsets;  // position of each heap block's data
    unsigned hidBlockShift = 16;                  // the layout's: where an HID's block begins

    static HeapImage fromNodeData(NodeData data);
    std::size_t blockCount() const { return blockStarts.size(); }
    // File offset of byte `pos` of the heap; nullopt when `pos` lies in no block.
    std::optional<std::uint64_t> fileOffsetOf(std::size_t pos) const;
};

// One allocation, as positions in the HeapImage: [start, end).
struct Allocation {
    std::uint32_t block = 0;
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t size() const { return end - start; }
};

// Resolves `hid` ([MS-PST] HID: type 0 in bits 0-4, 1-based index in bits 5-15, block index in
// bits 16-31; with 4 KiB pages the block index starts at bit 19) through the page map of its block.
// Nullopt when the HID is not a heap id, its block or index does not exist, or the allocation does
// not lie inside its block.
std::optional<Allocation> findAllocation(const HeapImage& heap, std::uint32_t hid);

}  // namespace brevik
