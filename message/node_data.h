// Reading a node's data: one block, or a data tree ([MS-PST] XBLOCK/XXBLOCK) of blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/bytes.h"
#include "engine/index_entries.h"
#include "engine/message_base.h"

namespace brevik {

// The most bytes one node's data may join to; a tree claiming more is cut there.
inline constexpr std::size_t kMaxNodeDataBytes = std::size_t{1} << 30;

// The joined data blocks of one node, with where each came from.
struct NodeData {
    Bytes bytes;
    std::vector<std::uint32_t> blockLengths;      // per joined data block, in order
    std::vector<std::uint64_t> blockFileOffsets;  // file offset of each joined block
    // False when a data tree stopped early (missing, unreadable or malformed entry, or the size
    // bound): `bytes` then holds what was joined before the stop.
    bool complete = true;
    bool fromTree = false;
};

// The bytes of block `index`, decoded when `decode` is set and the base's data is
// permute-encoded. Empty when the index is out of range or the read fails.
Bytes readBlock(MessageBase& base, BlockIndex index, bool decode);

// True when `raw` (undecoded) looks like a data tree block: type 0x01, level 1 or 2.
bool looksLikeDataTree(ByteView raw);

// Joins the data blocks below the data tree block `treeIndex`. The entries of one level lead to
// data blocks (level 1) or to level-1 trees (level 2); anything else stops the join.
NodeData expandDataTree(MessageBase& base, BlockIndex treeIndex);

// The data of a node or subnode whose data block is `index`: a data tree when the block id is
// marked internal and the block starts like one, else the single decoded block. Empty bytes
// when nothing could be read.
NodeData readNodeData(MessageBase& base, BlockIndex index);

// What readNodeData would join, a block at a time: calls `visit` with each decoded data block and
// its file offset, in order, through one buffer reused for every block, so that a node of many
// blocks costs no memory of its size (`visit` copies what it keeps). False when the data could
// not be read whole (the blocks before the stop were visited).
bool visitNodeData(MessageBase& base, BlockIndex index,
                   const std::function<void(ByteView block, std::uint64_t fileOffset)>& visit);

// Appends the data blocks below `index` to `leaves` when it is a data tree (nothing otherwise):
// what readNodeData would join, so that a caller can read them in one go beforehand.
void appendTreeLeaves(MessageBase& base, BlockIndex index, std::vector<BlockIndex>& leaves);

// The blocks a node's data is read from, appended to `blocks`: `index` itself and, when it is a
// data tree, the data blocks below it. False when the tree stops early (a block it names is
// missing or malformed).
bool nodeDataBlocks(MessageBase& base, BlockIndex index, std::vector<BlockIndex>& blocks);

// A place to read a value again from. Bytes of a plain block are named by their file offset; a
// deflated block's bytes exist only once inflated, so they are named by the block and the offset
// into its inflated data, tagged by bit 62 (no file offset reaches it). Offsets into one block
// stay below 2^16, so a position plus an offset inside the block stays a position.
inline constexpr std::uint64_t kDeflatedPositionTag = std::uint64_t{1} << 62;
inline constexpr std::uint64_t deflatedPosition(BlockIndex index, std::uint32_t offset) {
    return kDeflatedPositionTag |
           (static_cast<std::uint64_t>(static_cast<std::uint32_t>(index)) << 16) | offset;
}

// The position of byte 0 of block `index`'s data.
std::uint64_t fileOffsetFor(const MessageBase& base, BlockIndex index);

// `length` decoded bytes at `position` (a file offset or a place in a deflated block); empty
// when they cannot be read.
Bytes readAtPosition(MessageBase& base, std::uint64_t position, std::size_t length);

// One decoded data block as NodeData.
NodeData singleBlock(MessageBase& base, BlockIndex index, Bytes decoded);

}  // namespace brevik
