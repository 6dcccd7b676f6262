// Block and node tables flattened from every leaf index page of the file, live or stale.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/message_base.h"

namespace brevik {

struct BlockClaims;  // engine/block_claims.h

// Marks every leaf page reachable from the index root whose file offset the header keeps at
// `headerPos`; returns the number of leaf pages marked. An unreadable root marks nothing.
std::size_t markReachableFromRoot(MessageBase& base, std::uint32_t headerPos);

// For a header whose root is lost: marks from the newest well-formed index page among `pages`
// (all index pages of one tree), since every change to an index writes a new root page.
std::size_t markReachableFromLatestRoot(MessageBase& base, const std::vector<IndexPageInfo>& pages);

// Walks the index pages below `pageOffset`, marking the leaf pages it reaches; returns the number
// newly marked. Pages already visited are not walked again, so index pages that point at each
// other terminate.
std::size_t markReachablePages(MessageBase& base, std::uint64_t pageOffset);

// Flattens the leaf pages into `blockTable` and `nodeTable` and builds the block id index.
// Returns 0, or 100000 when building failed part way (the tables keep what was built).
int buildIndexTables(MessageBase& base);

// Builds `blockIdSlots` from the sorted `blockIdIndex`; clears them when the ids are too sparse.
void indexBlockIds(MessageBase& base);

// The `blockTable` index of the block whose id equals `blockId` with bit 0 cleared: an entry
// from a page the header's root reaches, else the one from the newest index page, the first in
// table order among equals; -1 when none.
BlockIndex findBlock(const MessageBase& base, std::uint64_t blockId);

// Appends the entries of the subnode block at `blockIndex` to `list`, following intermediate
// subnode blocks to their leaves and each entry's own subnode block before its block's entries.
// Returns 1, or -1 when the block is missing or malformed (nothing appended for it). Each
// subnode block read, well formed or not, is recorded in `claims` when given. With
// `nestedLists`, entries' own subnode blocks are not followed but appended there: a caller
// about to read many lists reads those blocks at once first, then reads the lists in full.
int readSubnodeList(MessageBase& base, std::vector<SubnodeEntry>& list, BlockIndex blockIndex,
                    std::uint32_t ownerNodeId, BlockIndex ownerDataIndex,
                    BlockClaims* claims = nullptr, std::vector<BlockIndex>* nestedLists = nullptr);

}  // namespace brevik
