// Block and node tables flattened from every leaf index page of the file, live or stale.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/message_base.h"

namespace brevik {

// Marks every leaf page reachable from the index root whose file offset the header keeps at
// `headerPos`. An unreadable root marks nothing.
void markReachableFromRoot(MessageBase& base, std::uint32_t headerPos);

// Walks the index pages below `pageOffset`, marking the leaf pages it reaches. Pages already
// visited are not walked again, so index pages that point at each other terminate.
void markReachablePages(MessageBase& base, std::uint64_t pageOffset);

// Flattens the leaf pages into `blockTable` and `nodeTable` and builds the block id index.
// Returns 0, or 100000 when building failed part way (the tables keep what was built).
int buildIndexTables(MessageBase& base);

// The first `blockTable` index, in table order, whose block id equals `blockId` with bit 0
// cleared; -1 when none.
BlockIndex findBlock(const MessageBase& base, std::uint64_t blockId);

// Appends the entries of the subnode block at `blockIndex` to `list`, following intermediate
// subnode blocks to their leaves and each entry's own subnode block before its block's entries.
// Returns 1, or -1 when the block is missing or malformed (nothing appended for it).
int readSubnodeList(MessageBase& base, std::vector<SubnodeEntry>& list, BlockIndex blockIndex,
                    std::uint32_t ownerNodeId, BlockIndex ownerDataIndex);

}  // namespace brevik
