// Sizes and places of the node database layer of a Unicode [MS-PST] file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevik::pst::ndb {

inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kPageTrailerSize = 16;  // [MS-PST] PAGETRAILER
inline constexpr std::size_t kPageDataSize = kPageSize - kPageTrailerSize;
inline constexpr std::size_t kBlockTrailerSize = 16;  // [MS-PST] BLOCKTRAILER
inline constexpr std::size_t kBlockAlign = 64;
inline constexpr std::size_t kMaxBlockBytes = 8192;
inline constexpr std::size_t kMaxBlockData = kMaxBlockBytes - kBlockTrailerSize;  // 8176

// Allocation maps: one AMap page heads each 253,952-byte section from 0x4400 on; a PMap follows
// it in every eighth section, an FMap in section 128 and every 496th after it, an FPMap in
// section 8192 and every 31,744th after it.
inline constexpr std::uint64_t kHeaderSize = 564;
inline constexpr std::uint64_t kDListOffset = 0x4200;
inline constexpr std::uint64_t kFirstAMapOffset = 0x4400;
inline constexpr std::uint64_t kAMapCoverage = 496 * 8 * 64;
inline constexpr std::uint64_t kFMapFirstSection = 128;
inline constexpr std::uint64_t kFMapInterval = 496;
inline constexpr std::uint64_t kFPMapFirstSection = 128 * 8 * 8;
inline constexpr std::uint64_t kFPMapInterval = 496 * 8 * 8;

enum PageType : std::uint8_t {
    kBlockBTree = 0x80,
    kNodeBTree = 0x81,
    kFMap = 0x82,
    kPMap = 0x83,
    kAMap = 0x84,
    kFPMap = 0x85,
    kDList = 0x86,
};

// B-tree pages ([MS-PST] BTPAGE, Unicode): entries, then cEnt, cEntMax, cbEnt, cLevel.
inline constexpr std::size_t kBtEntriesSize = 488;
inline constexpr std::size_t kBtIndexEntrySize = 24;  // BTENTRY
inline constexpr std::size_t kBbtEntrySize = 24;      // BBTENTRY
inline constexpr std::size_t kNbtEntrySize = 32;      // NBTENTRY

// Internal blocks ([MS-PST] XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK).
inline constexpr std::size_t kTreeHeaderSize = 8;
inline constexpr std::size_t kMaxTreeEntries = (kMaxBlockData - kTreeHeaderSize) / 8;  // 1021
inline constexpr std::size_t kSlEntrySize = 24;
inline constexpr std::size_t kSiEntrySize = 16;
inline constexpr std::size_t kMaxSlEntries = (kMaxBlockData - kTreeHeaderSize) / kSlEntrySize;
inline constexpr std::size_t kMaxSiEntries = (kMaxBlockData - kTreeHeaderSize) / kSiEntrySize;

inline constexpr std::uint64_t kInternalBid = 0x2;  // bit set on the ids of internal blocks

inline constexpr std::uint64_t alignUp(std::uint64_t v, std::uint64_t a) {
    return (v + a - 1) / a * a;
}

}  // namespace brevik::pst::ndb
