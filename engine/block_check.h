// Whether a block still holds what the index says it holds: its trailer names it (size, id,
// signature) and its checksum matches its bytes. Reading never depends on it; it tells a
// damaged part of an item from a whole one.
#pragma once

#include <cstdint>

#include "engine/index_entries.h"

namespace brevik {

class MessageBase;

enum class BlockFault : std::uint8_t {
    None,
    Unreadable,  // past the end of the file, or the read failed
    Trailer,     // the trailer names another size or block, or its signature is wrong
    Checksum,    // the trailer is the block's, its bytes are not what was written
};

// Checks block `e` of the base's file; the bytes come from the read window when it holds them.
BlockFault checkBlock(MessageBase& base, const BlockEntry& e);

}  // namespace brevik
