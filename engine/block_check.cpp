#include "engine/block_check.h"

#include <algorithm>

#include "engine/block_data.h"
#include "engine/crc.h"
#include "engine/message_base.h"
#include "engine/ndb_format.h"
#include "engine/read_window.h"
#include "engine/trailers.h"

namespace brevik {

BlockFault checkBlock(MessageBase& base, const BlockEntry& e) {
    const ndb::PageLayout& layout = base.layout;
    if (layout.blockTrailerSize == 0 || layout.blockAlignment == 0) return BlockFault::None;
    const std::uint64_t extent = ndb::blockExtent(e.byteCount, layout);
    if (e.byteCount == 0 || e.fileOffset > base.fileSize || extent > base.fileSize - e.fileOffset)
        return BlockFault::Unreadable;
    // Data, padding and trailer at once: the window holding the data holds the trailer too, and
    // is looked at in place rather than copied.
    Bytes copy;
    ByteView block;
    if (const std::uint8_t* held = ReadWindow::view(base, e.fileOffset, extent)) {
        block = ByteView(held, static_cast<std::size_t>(extent));
    } else {
        copy = base.readAt(e.fileOffset, static_cast<std::size_t>(extent));
        if (copy.size() != extent) return BlockFault::Unreadable;
        block = copy;
    }
    const BlockTrailer t = parseBlockTrailer(block, layout);
    if (!base.trailersHold) {
        // Trailers this file's writer fills its own way tell nothing; inflation still does.
        return isDeflated(base, e) && base.inflateFaults.contains(e.fileOffset)
                   ? BlockFault::Inflate
                   : BlockFault::None;
    }
    // Bit 0 of an id is reserved; some writers set it in one place and not the other.
    constexpr std::uint64_t kIdBits = ~std::uint64_t{1};
    // Where trailers carry the inflated size too, the index and the trailer must agree on it.
    const bool sizesAgree =
        !layout.inflatedSizes || !base.trailerSizesHold || t.inflatedCount == e.inflatedCount;
    if (t.byteCount != e.byteCount || !sizesAgree || (t.bid & kIdBits) != (e.blockId & kIdBits) ||
        (t.signature != 0 && t.signature != ndb::blockSignature(e.fileOffset, t.bid)))
        return BlockFault::Trailer;
    if (base.trailerCrcsHold && t.crc != 0 && t.crc != crc32(block.data(), e.byteCount))
        return BlockFault::Checksum;
    // A deflated block whose stream did not inflate when it was read: sound on disk, unusable.
    if (isDeflated(base, e) && base.inflateFaults.contains(e.fileOffset))
        return BlockFault::Inflate;
    return BlockFault::None;
}

void sampleBlockTrailers(MessageBase& base) {
    base.trailersHold = base.trailerCrcsHold = base.trailerSizesHold = true;
    const ndb::PageLayout& layout = base.layout;
    if (layout.blockTrailerSize == 0 || layout.blockAlignment == 0) return;
    constexpr std::size_t kSamples = 64;
    const std::size_t n = base.blockTable.size();
    const std::size_t step = std::max<std::size_t>(1, n / kSamples);
    std::size_t examined = 0, sound = 0, crcs = 0, sizes = 0;
    for (std::size_t k = 0; k < n && examined < kSamples; k += step) {
        const BlockEntry& e = base.blockTable[k];
        const std::uint64_t extent = ndb::blockExtent(e.byteCount, layout);
        if (!e.reachable || e.byteCount == 0 || e.fileOffset > base.fileSize ||
            extent > base.fileSize - e.fileOffset)
            continue;
        const Bytes block = base.readAt(e.fileOffset, static_cast<std::size_t>(extent));
        if (block.size() != extent) continue;
        ++examined;
        const BlockTrailer t = parseBlockTrailer(block, layout);
        if (t.byteCount != e.byteCount || (t.bid | 1) != (e.blockId | 1)) continue;
        ++sound;
        crcs += t.crc == crc32(block.data(), e.byteCount);
        sizes += !layout.inflatedSizes || t.inflatedCount == e.inflatedCount;
    }
    // Damage spoils some samples, even most of a small file's; a writer of its own kind spoils
    // them all.
    base.trailersHold = examined == 0 || sound * 4 >= examined;
    if (sound == 0) return;
    base.trailerCrcsHold = base.trailersHold && crcs * 4 >= sound;
    base.trailerSizesHold = base.trailersHold && sizes * 4 >= sound;
}

}  // namespace brevik
