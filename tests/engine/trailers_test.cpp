#include "engine/trailers.h"

#include <gtest/gtest.h>

#include <vector>

namespace brevik {
namespace {

using ndb::PageLayout;

TEST(PageTrailer, RoundTripsInEveryLayoutAndItsCrcCatchesAChangedByte) {
    for (const PageLayout& L : {PageLayout::ansi(), PageLayout::unicode()}) {
        SCOPED_TRACE(L.bidWidth);
        std::vector<std::uint8_t> page(ndb::kPageSize);
        for (std::size_t i = 0; i < L.trailerPos; ++i)
            page[i] = static_cast<std::uint8_t>(i * 7);
        const std::uint64_t bid = L.bidWidth == 8 ? 0x1122334455667788ull : 0x55667788u;
        writePageTrailer(page, L, ndb::kNodeBTree, bid, 0xBEEF);

        const PageTrailer t = parsePageTrailer(page, L);
        EXPECT_EQ(t.type, ndb::kNodeBTree);
        EXPECT_EQ(t.typeRepeat, ndb::kNodeBTree);
        EXPECT_EQ(t.signature, 0xBEEF);
        EXPECT_EQ(t.bid, bid);
        EXPECT_EQ(t.crc, pageCrc(page, L));
        EXPECT_TRUE(pageCrcMatches(page, L));
        // The other layout reads the type from elsewhere: a page is read as the layout it has.
        const PageLayout other = L.bidWidth == 8 ? PageLayout::ansi() : PageLayout::unicode();
        EXPECT_NE(parsePageTrailer(page, other), t);

        page[L.trailerPos - 1] ^= 1;
        EXPECT_FALSE(pageCrcMatches(page, L));
        // A short buffer is never read past its end.
        EXPECT_FALSE(pageCrcMatches(ByteView(page).first(L.trailerPos), L));
        EXPECT_EQ(parsePageTrailer(ByteView(page).first(100), L), PageTrailer{});
    }
}

TEST(BlockTrailer, RoundTripsInEveryLayoutAtTheEndOfTheBlock) {
    for (const PageLayout& L : {PageLayout::ansi(), PageLayout::unicode()}) {
        SCOPED_TRACE(L.bidWidth);
        const std::uint64_t extent = ndb::blockExtent(100, L);
        EXPECT_EQ(extent, 128u);
        std::vector<std::uint8_t> block(extent);
        const BlockTrailer written{100, 0x1234, 0xCAFEF00D, 0x4444};
        writeBlockTrailer(block, L, written);
        const BlockTrailer read = parseBlockTrailer(block, L);
        EXPECT_EQ(read.byteCount, 100);
        EXPECT_EQ(read.signature, 0x1234);
        EXPECT_EQ(read.crc, 0xCAFEF00Du);
        EXPECT_EQ(read.bid, 0x4444u);
        // The data before the trailer is left alone.
        for (std::size_t i = 0; i < extent - L.blockTrailerSize; ++i)
            ASSERT_EQ(block[i], 0) << i;
    }
}

}  // namespace
}  // namespace brevik
