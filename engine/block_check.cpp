#include "engine/block_check.h"

#include "engine/crc.h"
#include "engine/message_base.h"
#include "engine/ndb_format.h"
#include "engine/trailers.h"

namespace brevik {

BlockFault checkBlock(MessageBase& base, const BlockEntry& e) {
    const ndb::PageLayout& layout = base.layout;
    if (layout.blockTrailerSize == 0 || layout.blockAlignment == 0) return BlockFault::None;
    const std::uint64_t extent = ndb::blockExtent(e.byteCount, layout);
    if (e.byteCount == 0 || e.fileOffset > base.fileSize || extent > base.fileSize - e.fileOffset)
        return BlockFault::Unreadable;
    // Data, padding and trailer in one read: the window holding the data holds the trailer too.
    const Bytes block = base.readAt(e.fileOffset, static_cast<std::size_t>(extent));
    if (block.size() != extent) return BlockFault::Unreadable;
    const BlockTrailer t = parseBlockTrailer(block, layout);
    // Bit 0 of an id is reserved; some writers set it in one place and not the other.
    constexpr std::uint64_t kIdBits = ~std::uint64_t{1};
    if (t.byteCount != e.byteCount || (t.bid & kIdBits) != (e.blockId & kIdBits) ||
        (t.signature != 0 && t.signature != ndb::blockSignature(e.fileOffset, t.bid)))
        return BlockFault::Trailer;
    if (t.crc != 0 && t.crc != crc32(block.data(), e.byteCount)) return BlockFault::Checksum;
    return BlockFault::None;
}

}  // namespace brevik
