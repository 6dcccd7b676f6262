// Blocks the index no longer names, found by their trailers. Where block index pages are lost
// (a file cut short, pages zeroed), the blocks they named mostly still lie in the file: a block
// whose trailer carries the signature of its place and the checksum of its bytes is the block it
// was, and the node entries that name it can be read again.
#pragma once

#include <cstddef>

namespace brevik {

class MessageBase;

// Scans the whole file for blocks whose ids the block table lacks and adds them as stale
// entries, indexed by id. Blocks lying inside a live block (the pages of an attached file) are
// left out. Returns the number added. Needs the index tables built; a read that fails skips its
// stretch.
std::size_t addBlocksFoundByTrailers(MessageBase& base);

}  // namespace brevik
