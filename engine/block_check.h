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
    Inflate,     // a deflated block whose stream did not inflate when it was read
};

// Checks block `e` of the base's file; the bytes come from the read window when it holds them.
// A checksum or inflated size counts only where the file's writer keeps them (see below).
BlockFault checkBlock(MessageBase& base, const BlockEntry& e);

// Samples the live blocks of the file and sets `trailersHold`, `trailerCrcsHold` and
// `trailerSizesHold`: a writer that leaves trailer fields unfilled, or fills them some other
// way, leaves them unchecked rather than every block of a sound file damaged. Needs the index
// tables built.
void sampleBlockTrailers(MessageBase& base);

}  // namespace brevik
