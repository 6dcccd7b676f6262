#include "engine/trailers.h"

#include "engine/crc.h"

namespace brevik {

PageTrailer parsePageTrailer(ByteView page, const ndb::PageLayout& L) {
    if (page.size() < L.pageSize) return {};
    const std::uint8_t* t = page.data() + L.trailerPos;
    PageTrailer out;
    out.type = t[0];
    out.typeRepeat = t[1];
    out.signature = load16(t + 2);
    out.crc = load32(page.data() + L.crcPos);
    out.bid = L.bidWidth == 8 ? load64(page.data() + L.bidPos) : load32(page.data() + L.bidPos);
    return out;
}

std::uint32_t pageCrc(ByteView page, const ndb::PageLayout& L) {
    return page.size() < L.pageSize ? 0 : crc32(page.data(), L.trailerPos);
}

bool pageCrcMatches(ByteView page, const ndb::PageLayout& L) {
    return page.size() >= L.pageSize && pageCrc(page, L) == load32(page.data() + L.crcPos);
}

void writePageTrailer(std::span<std::uint8_t> page, const ndb::PageLayout& L, std::uint8_t type,
                      std::uint64_t bid, std::uint16_t signature) {
    if (page.size() < L.pageSize) return;
    std::uint8_t* t = page.data() + L.trailerPos;
    t[0] = type;
    t[1] = type;
    store16(t + 2, signature);
    store32(page.data() + L.crcPos, crc32(page.data(), L.trailerPos));
    if (L.bidWidth == 8)
        store64(page.data() + L.bidPos, bid);
    else
        store32(page.data() + L.bidPos, static_cast<std::uint32_t>(bid));
}

BlockTrailer parseBlockTrailer(ByteView trailer, const ndb::PageLayout& L) {
    if (trailer.size() < L.blockTrailerSize) return {};
    const std::uint8_t* t = trailer.data() + trailer.size() - L.blockTrailerSize;
    BlockTrailer out;
    out.byteCount = load16(t);
    out.signature = load16(t + 2);
    if (L.bidWidth == 8) {
        out.crc = load32(t + 4);
        out.bid = load64(t + 8);
        if (L.inflatedSizes) out.inflatedCount = load16(t + 18);
    } else {
        out.bid = load32(t + 4);
        out.crc = load32(t + 8);
    }
    return out;
}

void writeBlockTrailer(std::span<std::uint8_t> block, const ndb::PageLayout& L,
                       const BlockTrailer& trailer) {
    if (block.size() < L.blockTrailerSize) return;
    std::uint8_t* t = block.data() + block.size() - L.blockTrailerSize;
    store16(t, trailer.byteCount);
    store16(t + 2, trailer.signature);
    if (L.bidWidth == 8) {
        store32(t + 4, trailer.crc);
        store64(t + 8, trailer.bid);
        if (L.inflatedSizes) store16(t + 18, trailer.inflatedCount);
    } else {
        store32(t + 4, static_cast<std::uint32_t>(trailer.bid));
        store32(t + 8, trailer.crc);
    }
}

}  // namespace brevik
