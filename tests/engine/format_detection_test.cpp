#include "engine/format_detection.h"

#include <gtest/gtest.h>

#include "support/pst_image.h"

namespace brevik {
namespace {

using test::openImage;
using test::PstImage;

TEST(ChooseFormatCode, SingleLayoutFiles) {
    EXPECT_EQ(chooseFormatCode({3, 4, 0, 0}, 14), 15u);
    EXPECT_EQ(chooseFormatCode({0, 0, 3, 4}, 23), 65532u);
    // A complete pair with a stray page of the other layout.
    EXPECT_EQ(chooseFormatCode({3, 4, 1, 0}, 0), 255u);
    EXPECT_EQ(chooseFormatCode({0, 1, 3, 4}, 0), 8191u);
}

TEST(ChooseFormatCode, BothPairsCompleteUseVersionThenCounts) {
    EXPECT_EQ(chooseFormatCode({1, 1, 9, 9}, 14), 120u);
    EXPECT_EQ(chooseFormatCode({9, 9, 1, 1}, 23), 8687u);
    // Version 15 is neither and falls to the counts.
    EXPECT_EQ(chooseFormatCode({5, 5, 1, 1}, 15), 4094u);
    EXPECT_EQ(chooseFormatCode({1, 1, 5, 5}, 15), 65534u);
    EXPECT_EQ(chooseFormatCode({6, 1, 2, 3}, 15), 12u);
    // Equal sums with mixed counts go to Unicode.
    EXPECT_EQ(chooseFormatCode({4, 1, 2, 3}, 15), 61952u);
    EXPECT_FALSE(isUnicodeFormat(4094));
    EXPECT_TRUE(isUnicodeFormat(8191));
}

TEST(DetectFormat, HealthyImagesOfBothLayouts) {
    for (bool unicode : {false, true}) {
        PstImage img(unicode, 8);
        img.putLeafBlockPage(2, {});
        img.putLeafNodePage(3, {});
        img.setRoots(PstImage::pageOffset(2), PstImage::pageOffset(3));
        auto base = openImage(img.bytes());
        ASSERT_EQ(detectFormat(*base), 0);
        EXPECT_EQ(base->formatCode, unicode ? 65532u : 15u);
        EXPECT_EQ(base->isUnicode(), unicode);
        EXPECT_EQ(base->layout.leafNbtKey, unicode ? 32 : 16);
        ASSERT_EQ(base->leafBbtPages.size(), 1u);
        ASSERT_EQ(base->leafNbtPages.size(), 1u);
        EXPECT_EQ(base->leafBbtPages[0].reachable, 1);
        EXPECT_EQ(base->leafNbtPages[0].reachable, 1);
        EXPECT_EQ(readCryptMethod(*base), CryptMethod::Permute);
    }
}

TEST(DetectFormat, BothLayoutsPresentWithVersion23IsUnicode) {
    PstImage img(true, 8);
    img.putLeafBlockPage(2, {});
    img.putLeafNodePage(3, {});
    PstImage ansi(false, 8);
    ansi.putLeafBlockPage(4, {});
    ansi.putLeafNodePage(5, {});
    for (std::size_t p = 4; p <= 5; ++p)
        img.putBytes(PstImage::pageOffset(p),
                     ByteView(ansi.bytes()).subspan(PstImage::pageOffset(p), 512));
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    EXPECT_EQ(base->formatCode, 8687u);
}

TEST(DetectFormat, LastPageOfTheFileIsExamined) {
    // The only node index page is the final 512 bytes of the file.
    PstImage img(true, 4);
    img.putLeafBlockPage(2, {});
    img.putLeafNodePage(3, {{kFirstMessageNodeId, 4, 0, 0x122, 0}});
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    ASSERT_EQ(base->leafNbtPages.size(), 1u);
    EXPECT_EQ(base->leafNbtPages[0].pageOffset, 3u * 512);
}

TEST(DetectFormat, FilesWithoutACompletePairFail) {
    EXPECT_EQ(detectFormat(*openImage(Bytes{})), 101);
    EXPECT_EQ(detectFormat(*openImage(Bytes(1, 0x21))), 101);
    // A page of 0x80 bytes is a block page of both layouts, and there is no node page.
    EXPECT_EQ(detectFormat(*openImage(Bytes(512, 0x80))), 101);
    PstImage onlyBlocks(true, 4);
    onlyBlocks.putLeafBlockPage(2, {});
    EXPECT_EQ(detectFormat(*openImage(onlyBlocks.bytes())), 101);
}

TEST(DetectFormat, StoppedRunFails) {
    PstImage img(true, 8);
    img.putLeafBlockPage(2, {});
    img.putLeafNodePage(3, {});
    auto base = openImage(img.bytes());
    base->requestStop();
    EXPECT_EQ(detectFormat(*base), 101);
    EXPECT_EQ(base->errorCode, 0u);
}

TEST(DetectFormat, UnknownCryptByteIsUnrecognised) {
    PstImage img(false, 8);
    img.putLeafBlockPage(2, {});
    img.putLeafNodePage(3, {});
    img.setCrypt(7);
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    EXPECT_EQ(readCryptMethod(*base), CryptMethod::Unrecognised);
}

}  // namespace
}  // namespace brevik
