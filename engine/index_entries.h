// Flattened entries of the file's block and node indexes, and of a node's subnode blocks.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/ndb_format.h"

namespace brevik {

// Index of an entry in `blockTable`; -1 when a block was not found.
using BlockIndex = std::int32_t;
inline constexpr BlockIndex kNoBlock = -1;

// One index page seen by the census (a [MS-PST] BTPAGE with its trailer).
struct IndexPageInfo {
    std::uint64_t pageOffset = 0;
    std::uint16_t pageType = 0;  // ptype in the low byte, ptypeRepeat in the high byte
    std::uint64_t trailerBid = 0;
    std::uint16_t maxEntries = 0;
    std::uint16_t entryCount = 0;
    std::uint16_t sizeLevel = 0;  // cbEnt in the low byte, cLevel in the high byte
    std::uint8_t reachable = 0;
};

// A leaf entry of the block index ([MS-PST] BBTENTRY).
// Millions of these make up the block table: 24 bytes each.
struct BlockEntry {
    std::uint64_t fileOffset = 0;
    std::uint16_t byteCount = 0;  // bytes stored in the file
    std::uint16_t refCount = 0;
    std::uint16_t inflatedCount = 0;  // bytes of data; differs from byteCount when deflated
    std::uint8_t reachable = 0;
    std::uint64_t blockId = 0;

    bool deflated() const { return inflatedCount != byteCount; }
};

// A leaf entry of the node index ([MS-PST] NBTENTRY).
struct NodeEntry {
    std::uint32_t nodeId = 0;
    std::uint64_t dataBid = 0;
    std::uint64_t subnodeBid = 0;
    std::uint32_t parentNodeId = 0;
    std::uint8_t reachable = 0;
    std::uint64_t pageOffset = 0;  // the leaf index page that listed it
};

// One entry of a node's flattened subnode blocks ([MS-PST] SLENTRY).
struct SubnodeEntry {
    std::uint32_t nodeId = 0;
    BlockIndex dataIndex = kNoBlock;
    std::uint32_t ownerNodeId = 0;  // subnode whose own subnode block listed this entry; 0 on top
    BlockIndex ownerDataIndex = 0;  // data index of that owner; 0 on top
};

// A block id and the first `blockTable` index holding it; sorted by id for `findBlock`.
struct BlockIdRef {
    std::uint64_t blockId = 0;
    BlockIndex index = kNoBlock;
};

// `blockIdIndex` positions by id quarter (id >> 2). Block ids grow by four through a file
// ([MS-PST] bidNextB), so their quarters are nearly dense, and a lookup by quarter costs one
// memory access where a search of a large index costs several. Each slot holds the first
// position of an id of that quarter, kNoPosition when none; empty when the ids are too sparse.
struct BlockIdSlots {
    static constexpr std::uint32_t kNoPosition = UINT32_MAX;
    std::uint64_t firstQuarter = 0;
    std::vector<std::uint32_t> positions;
};

// A data block's file offset and its `blockTable` index; sorted by offset.
struct BlockOffsetRef {
    std::uint64_t fileOffset = 0;
    BlockIndex index = kNoBlock;
};

}  // namespace brevik
