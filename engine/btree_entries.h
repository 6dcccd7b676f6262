// The fixed-size entries of the node database's B-tree pages and subnode blocks, decoded into
// values per layout: every field lies at a multiple of the layout's block-id width (4 ANSI,
// 8 Unicode). Each parser reads one entry from the start of `e` and returns zeros when `e` is
// shorter than an entry.
#pragma once

#include <cstdint>

#include "engine/bytes.h"
#include "engine/ndb_format.h"

namespace brevik {

namespace detail {
inline std::uint64_t loadBid(const std::uint8_t* p, std::uint8_t width) {
    return width == 8 ? load64(p) : load32(p);
}
}  // namespace detail

// cEnt of a B-tree page: one byte, two with 4 KiB pages; 0 when `page` is too short.
inline std::uint32_t pageEntryCount(ByteView page, const ndb::PageLayout& L) {
    if (page.size() < std::size_t{L.entryCountPos} + L.entryCountWidth) return 0;
    return L.entryCountWidth == 2 ? load16(page.data() + L.entryCountPos) : page[L.entryCountPos];
}
inline std::uint32_t pageMaxEntries(ByteView page, const ndb::PageLayout& L) {
    const std::size_t at = std::size_t{L.entryCountPos} + L.entryCountWidth;
    if (page.size() < at + L.entryCountWidth) return 0;
    return L.entryCountWidth == 2 ? load16(page.data() + at) : page[at];
}

// [MS-PST] BTENTRY of an intermediate page: the first key below a child page and where it lies.
struct BtEntry {
    std::uint64_t key = 0;
    std::uint64_t childBid = 0;
    std::uint64_t childOffset = 0;
};
inline constexpr std::size_t btEntrySize(const ndb::PageLayout& L) {
    return 3u * L.bidWidth;
}
inline BtEntry parseBtEntry(ByteView e, const ndb::PageLayout& L) {
    const std::uint8_t w = L.bidWidth;
    if (e.size() < btEntrySize(L)) return {};
    return {detail::loadBid(e.data(), w), detail::loadBid(e.data() + w, w),
            detail::loadBid(e.data() + 2 * w, w)};
}

// [MS-PST] BBTENTRY: a block's id, offset, size and reference count. With 4 KiB pages the
// stored size is followed by the inflated size, then the reference count.
struct BbtEntry {
    std::uint64_t bid = 0;
    std::uint64_t offset = 0;
    std::uint16_t byteCount = 0;
    std::uint16_t refCount = 0;
    std::uint16_t inflatedCount = 0;  // the stored size where the layout keeps no other
};
inline constexpr std::size_t bbtEntrySize(const ndb::PageLayout& L) {
    return 3u * L.bidWidth;
}
inline BbtEntry parseBbtEntry(ByteView e, const ndb::PageLayout& L) {
    const std::uint8_t w = L.bidWidth;
    if (e.size() < bbtEntrySize(L)) return {};
    const std::uint8_t* sizes = e.data() + 2 * w;
    if (L.inflatedSizes)
        return {detail::loadBid(e.data(), w), detail::loadBid(e.data() + w, w), load16(sizes),
                load16(sizes + 4), load16(sizes + 2)};
    return {detail::loadBid(e.data(), w), detail::loadBid(e.data() + w, w), load16(sizes),
            load16(sizes + 2), load16(sizes)};
}

// [MS-PST] NBTENTRY: a node's id, its data and subnode blocks, and its parent.
struct NbtEntry {
    std::uint32_t nodeId = 0;
    std::uint64_t dataBid = 0;
    std::uint64_t subnodeBid = 0;
    std::uint32_t parentNodeId = 0;
};
inline constexpr std::size_t nbtEntrySize(const ndb::PageLayout& L) {
    return 4u * L.bidWidth;
}
inline NbtEntry parseNbtEntry(ByteView e, const ndb::PageLayout& L) {
    const std::uint8_t w = L.bidWidth;
    if (e.size() < nbtEntrySize(L)) return {};
    return {load32(e.data()), detail::loadBid(e.data() + w, w),
            detail::loadBid(e.data() + 2 * w, w), load32(e.data() + 3 * w)};
}

// [MS-PST] SLENTRY of a leaf subnode block: a subnode's id, data block and own subnode block.
struct SlEntry {
    std::uint32_t nodeId = 0;
    std::uint64_t dataBid = 0;
    std::uint64_t subnodeBid = 0;
};
inline constexpr std::size_t slEntrySize(const ndb::PageLayout& L) {
    return 3u * L.bidWidth;
}
inline SlEntry parseSlEntry(ByteView e, const ndb::PageLayout& L) {
    const std::uint8_t w = L.bidWidth;
    if (e.size() < slEntrySize(L)) return {};
    return {load32(e.data()), detail::loadBid(e.data() + w, w),
            detail::loadBid(e.data() + 2 * w, w)};
}

// [MS-PST] SIENTRY of an intermediate subnode block: the first subnode id of a leaf block.
struct SiEntry {
    std::uint32_t nodeId = 0;
    std::uint64_t bid = 0;
};
inline constexpr std::size_t siEntrySize(const ndb::PageLayout& L) {
    return 2u * L.bidWidth;
}
inline SiEntry parseSiEntry(ByteView e, const ndb::PageLayout& L) {
    const std::uint8_t w = L.bidWidth;
    if (e.size() < siEntrySize(L)) return {};
    return {load32(e.data()), detail::loadBid(e.data() + w, w)};
}

}  // namespace brevik
