#include "engine/format_detection.h"

#include <gtest/gtest.h>

#include "engine/byte_source.h"
#include "engine/index_tables.h"
#include "support/app_fixtures.h"
#include "support/corpus.h"
#include "support/peer_tools.h"
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
    img.putLeafNodePage(3, {{ndb::kFirstMessageNodeId, 4, 0, 0x122, 0}});
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    ASSERT_EQ(base->leafNbtPages.size(), 1u);
    EXPECT_EQ(base->leafNbtPages[0].pageOffset, 3u * 512);
}

// Without a complete pair of index pages only a data file's header names the layout: its blocks
// may still be found by their trailers. Anything else fails.
TEST(DetectFormat, FilesWithoutACompletePairFailUnlessTheirHeaderNamesTheLayout) {
    EXPECT_EQ(detectFormat(*openImage(Bytes{})), 101);
    EXPECT_EQ(detectFormat(*openImage(Bytes(1, 0x21))), 101);
    // A page of 0x80 bytes is a block page of both layouts, and there is no node page.
    EXPECT_EQ(detectFormat(*openImage(Bytes(512, 0x80))), 101);
    for (bool unicode : {false, true}) {
        PstImage onlyBlocks(unicode, 4);
        onlyBlocks.putLeafBlockPage(2, {});
        const auto base = openImage(onlyBlocks.bytes());
        EXPECT_EQ(detectFormat(*base), 0);
        EXPECT_EQ(base->isUnicode(), unicode);
        Bytes noMagic = onlyBlocks.bytes();
        noMagic[0] = 'X';
        EXPECT_EQ(detectFormat(*openImage(noMagic)), 101);
    }
}

// An unreadable page costs only itself; a failed detection says why: what the file lacks, where
// a read failed, or that it was stopped.
TEST(FindLayout, UnreadablePagesAreNotedAndFailuresCarryTheirReason) {
    EXPECT_EQ(findLayout(*openImage(Bytes(4096, 0x5A))).reason, Reason::NoIndexPages);

    PstImage img(true, 8);
    img.putLeafBlockPage(2, {});
    img.putLeafNodePage(3, {});
    auto open = [&](std::uint64_t badOffset, std::uint64_t badLength) {
        auto source = std::make_unique<FailingSource>(img.bytes());
        source->failRange(badOffset, badLength);
        auto base = std::make_unique<RecoveredBase>();
        base->attachSource(std::move(source));
        return base;
    };
    auto badPage = open(PstImage::pageOffset(5), 512);
    EXPECT_TRUE(findLayout(*badPage).ok());
    EXPECT_EQ(badPage->leafNbtPages.size(), 1u);
    EXPECT_EQ(badPage->damage.firstOffsets(DamageKind::UnreadablePages),
              std::vector<std::uint64_t>{PstImage::pageOffset(5)});

    const Status header = findLayout(*open(0, 64));
    EXPECT_EQ(header.reason, Reason::HeaderUnreadable);
    EXPECT_EQ(describe(header), "header unreadable at offset 0x3");

    auto stopped = openImage(img.bytes());
    stopped->requestStop();
    EXPECT_EQ(findLayout(*stopped).reason, Reason::Stopped);
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

// The census passes over pages that an intact live block index places inside blocks. On real
// and generated files (deleted items leave stale index pages) it must find the same pages as
// reading every one; with a copy of an index page planted inside a block (an attached .pst, say)
// it does not list that copy at all, and the full read drops it once the block table is known.
TEST(DetectFormat, PagesInsideLiveBlocksAreLeftOutWithTheSameResult) {
    test::TempDir dir;
    const std::string generated = (dir.path() / "generated.pst").string();
    test::writeSample(generated, 400, 40);
    std::vector<std::string> files = {generated};
    if (test::haveCorpus())
        for (const std::string& f : test::corpusPstFiles())
            files.push_back(f);

    auto pages = [](const std::vector<IndexPageInfo>& list) {
        std::vector<std::pair<std::uint64_t, int>> out;
        for (const IndexPageInfo& p : list)
            out.emplace_back(p.pageOffset, p.reachable);
        return out;
    };
    auto detect = [](const Bytes& image, bool skip) {
        auto base = openImage(image);
        base->censusSkipsLiveBlocks = skip;
        const int rc = detectFormat(*base);
        return std::pair{rc, std::move(base)};
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Bytes image = test::readWholeFile(file);
        auto [fastRc, fast] = detect(image, true);
        auto [fullRc, full] = detect(image, false);
        ASSERT_EQ(fastRc, fullRc);
        if (fullRc != 0) continue;
        EXPECT_EQ(fast->formatCode, full->formatCode);
        EXPECT_EQ(pages(fast->leafBbtPages), pages(full->leafBbtPages));
        EXPECT_EQ(pages(fast->leafNbtPages), pages(full->leafNbtPages));
        EXPECT_LE(fast->censusPagesRead, full->censusPagesRead);
        if (file != generated) continue;
        EXPECT_LT(fast->censusPagesRead * 4, full->censusPagesRead);

        // Plant a copy of a live node page where a large live block keeps its data.
        ASSERT_EQ(buildIndexTables(*full), 0);
        std::uint64_t at = 0;
        for (const BlockEntry& b : full->blockTable) {
            const std::uint64_t page = (b.fileOffset + 511) / 512 * 512;
            if (b.reachable && page + 512 <= b.fileOffset + b.byteCount) {
                at = page;
                break;
            }
        }
        ASSERT_NE(at, 0u);
        const std::uint64_t live = full->leafNbtPages.front().pageOffset;
        std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(live), 512,
                    image.begin() + static_cast<std::ptrdiff_t>(at));
        auto [plantedRc, planted] = detect(image, true);
        ASSERT_EQ(plantedRc, 0);
        EXPECT_EQ(pages(planted->leafNbtPages), pages(full->leafNbtPages));
        auto [readAllRc, readAll] = detect(image, false);
        ASSERT_EQ(readAllRc, 0);
        EXPECT_EQ(readAll->leafNbtPages.size(), full->leafNbtPages.size() + 1);
        ASSERT_EQ(buildIndexTables(*readAll), 0);
        EXPECT_EQ(pages(readAll->leafNbtPages), pages(full->leafNbtPages));
    }
}

}  // namespace
}  // namespace brevik
