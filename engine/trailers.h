// The trailers that end every page and every block of the node database ([MS-PST] PAGETRAILER,
// BLOCKTRAILER), read and built in one place for the readers and the .pst writer.
#pragma once

#include <cstdint>
#include <span>

#include "engine/bytes.h"
#include "engine/ndb_format.h"

namespace brevik {

struct PageTrailer {
    std::uint8_t type = 0;        // ptype
    std::uint8_t typeRepeat = 0;  // ptypeRepeat, the same as `type` on a sound page
    std::uint16_t signature = 0;  // wSig
    std::uint32_t crc = 0;        // dwCRC of the bytes before the trailer
    std::uint64_t bid = 0;

    bool operator==(const PageTrailer&) const = default;
};

// The trailer of a page of the layout; all zeros when `page` is shorter.
PageTrailer parsePageTrailer(ByteView page, const ndb::PageLayout& layout);

// The CRC a page's trailer should hold: of the bytes before the trailer.
std::uint32_t pageCrc(ByteView page, const ndb::PageLayout& layout);

// True when the page's stored CRC is the CRC of its bytes.
bool pageCrcMatches(ByteView page, const ndb::PageLayout& layout);

// Writes the trailer of a page of type `type` and id `bid` placed at `offset`, with its signature
// (0 for allocation-map pages, which carry none) and the CRC of what `page` holds before it.
void writePageTrailer(std::span<std::uint8_t> page, const ndb::PageLayout& layout,
                      std::uint8_t type, std::uint64_t bid, std::uint16_t signature);

// [MS-PST] BLOCKTRAILER: cb, wSig, then the bid and dwCRC (ANSI) or dwCRC and bid (Unicode).
// With 4 KiB pages 8 more bytes follow: 2 unknown, the inflated size, 4 unknown.
struct BlockTrailer {
    std::uint16_t byteCount = 0;  // cb: bytes of data before the padding
    std::uint16_t signature = 0;
    std::uint32_t crc = 0;
    std::uint64_t bid = 0;
    std::uint16_t inflatedCount = 0;  // 4 KiB pages only
};

// The trailer in the last `layout.blockTrailerSize` bytes of `trailer`; zeros when shorter.
BlockTrailer parseBlockTrailer(ByteView trailer, const ndb::PageLayout& layout);

// Writes `trailer` into the last `layout.blockTrailerSize` bytes of `block`.
void writeBlockTrailer(std::span<std::uint8_t> block, const ndb::PageLayout& layout,
                       const BlockTrailer& trailer);

}  // namespace brevik
