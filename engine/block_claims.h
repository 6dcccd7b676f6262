// Which blocks the internal blocks of a file name: a data block that nothing names may hold an
// item whose node entry was lost. Loading items reads most internal blocks anyway, so what they
// name is gathered there, and only the others are read again to complete the set.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/bytes.h"
#include "engine/index_entries.h"

namespace brevik {

class MessageBase;

struct BlockClaims {
    std::vector<std::uint64_t> ids;      // named block ids, bit 0 cleared; repeats allowed
    std::vector<BlockIndex> readBlocks;  // the block-table entries whose names are in `ids`

    void append(BlockClaims&& other);
};

// Appends the block ids that internal block bytes `d` name, bit 0 cleared: a data tree its
// children, a subnode block its entries' data and subnode blocks. Lenient: whatever the counts
// claim, only entries inside `d` are taken.
void appendNamedBlockIds(bool unicode, ByteView d, std::vector<std::uint64_t>& out);

// Reads internal block `block` and records what it names, and so on down the data trees (and
// any internal block such a tree names) it leads to. Leaf blocks, short or unreadable blocks,
// and blocks deeper than a data tree goes are left alone, so that the complete scan reads them.
void claimDataTree(MessageBase& base, BlockIndex block, BlockClaims& claims);

// Records that internal block `block`, read as `bytes`, names what it names.
void claimBlock(const MessageBase& base, BlockIndex block, ByteView bytes, BlockClaims& claims);

}  // namespace brevik
