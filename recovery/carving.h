// Items whose node entries are gone: property contexts of data blocks that nothing names.
#pragma once

#include <vector>

#include "engine/block_claims.h"
#include "engine/message_base.h"

namespace brevik {

// The made-up folder id under which such items are gathered (no real folder has it).
inline constexpr std::uint32_t kUnclaimedItemsFolderId =
    0x7FFFFFE2;  // sorts after every real folder

// Data blocks that no node entry, subnode block or data tree names, that hold a property
// context with a message class: the data of items whose node entries were overwritten or lost.
// One block per id (the one `findBlock` returns), in table order. Needs the encoding decided.
// `known`, when given, holds what internal blocks read before named (it is used up): only the
// others are read. A stop ends the scan early with nothing found.
std::vector<BlockIndex> findUnclaimedItemBlocks(MessageBase& base, BlockClaims* known = nullptr);

}  // namespace brevik
