#include "engine/index_tables.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/format_detection.h"
#include "support/pst_image.h"

namespace brevik {
namespace {

using test::openImage;
using test::PstImage;

class IndexTablesTest : public ::testing::TestWithParam<bool> {
  protected:
    bool unicode() const { return GetParam(); }
};

TEST_P(IndexTablesTest, LiveAndStalePagesAreFlattenedWithTheirReachability) {
    PstImage img(unicode(), 12);
    img.putLeafBlockPage(2,
                         {{.fileOffset = 8 * 512, .byteCount = 100, .refCount = 2, .blockId = 4},
                          {.fileOffset = 9 * 512, .byteCount = 50, .refCount = 1, .blockId = 8}});
    img.putLeafNodePage(
        3, {{.nodeId = 0x122, .dataBid = 4, .subnodeBid = 0, .parentNodeId = 0x122},
            {.nodeId = ndb::kFirstMessageNodeId, .dataBid = 8, .parentNodeId = 0x122}});
    // A stale copy nobody points at any more.
    img.putLeafNodePage(
        5, {{.nodeId = ndb::kFirstMessageNodeId - 1, .dataBid = 8, .parentNodeId = 0x122}});
    img.setRoots(PstImage::pageOffset(2), PstImage::pageOffset(3));
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    ASSERT_EQ(buildIndexTables(*base), 0);

    ASSERT_EQ(base->blockCount(), 2u);
    EXPECT_EQ(base->blockTable[0].fileOffset, 8u * 512);
    EXPECT_EQ(base->blockTable[0].byteCount, 100);
    EXPECT_EQ(base->blockTable[0].refCount, 2);
    EXPECT_EQ(base->blockTable[1].blockId, 8u);
    ASSERT_EQ(base->nodeCount(), 3u);
    EXPECT_EQ(base->nodeTable[0].reachable, 1);
    EXPECT_EQ(base->nodeTable[2].reachable, 0);
    EXPECT_EQ(base->nodeTable[2].nodeId, ndb::kFirstMessageNodeId - 1);
    // 1048576 is an item; 1048575 with a parent and the root folder count as folders.
    EXPECT_EQ(base->messageNodeCount, 1u);
    EXPECT_EQ(base->folderCapacity, 2u);
}

TEST_P(IndexTablesTest, LostRootsFallBackToTheNewestIndexPages) {
    PstImage img(unicode(), 10);
    // An older root page over an older leaf, and the newest root over the newest leaf.
    img.putLeafNodePage(2, {{.nodeId = 0x21, .dataBid = 4}});
    img.putLeafNodePage(3, {{.nodeId = 0x21, .dataBid = 8}});
    img.putIntermediatePage(4, true, {PstImage::pageOffset(2)});
    img.putIntermediatePage(5, true, {PstImage::pageOffset(3)});
    img.putLeafBlockPage(6, {{.fileOffset = 9 * 512, .byteCount = 10, .blockId = 4}});
    auto setBid = [&](std::size_t page, std::uint64_t bid) {
        std::uint8_t* t = img.bytes().data() + PstImage::pageOffset(page) + 504;
        if (unicode())
            store64(t, bid);
        else
            store32(t, static_cast<std::uint32_t>(bid));
    };
    setBid(2, 0x10);
    setBid(3, 0x30);
    setBid(4, 0x11);
    setBid(5, 0x31);
    img.setRoots(1ull << 31, 0xFFFFFFF0ull);  // both outside the file
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    ASSERT_EQ(base->leafNbtPages.size(), 2u);
    EXPECT_EQ(base->leafNbtPages[0].reachable, 0);
    EXPECT_EQ(base->leafNbtPages[1].reachable, 1);
    EXPECT_EQ(base->leafBbtPages[0].reachable, 1);  // a lone leaf is its own root
    buildIndexTables(*base);
    EXPECT_EQ(base->blockCount(), 1u);
    EXPECT_EQ(base->nodeCount(), 2u);
}

TEST_P(IndexTablesTest, StalePagesInsideALiveBlockAreItsDataNotPages) {
    PstImage img(unicode(), 20);
    // Live block 4 spans pages 8 to 13 and its trailer confirms it; block 8 spans page 16, but
    // its trailer is missing.
    img.putLeafBlockPage(2, {{.fileOffset = 8 * 512, .byteCount = 3000, .blockId = 4},
                             {.fileOffset = 15 * 512, .byteCount = 1100, .blockId = 8}});
    img.putLeafNodePage(3, {{.nodeId = 0x122, .dataBid = 4, .parentNodeId = 0x122}});
    const std::size_t trailerSize = unicode() ? 16 : 12;
    Bytes trailer(trailerSize, 0);
    store16(trailer.data(), 3000);
    if (unicode())
        store64(trailer.data() + 8, 4);
    else
        store32(trailer.data() + 4, 4);
    img.putBytes(8 * 512 + 3072 - trailerSize, trailer);
    // Page images inside block 4 (an attached .pst, say), and stale pages elsewhere.
    img.putLeafNodePage(9, {{.nodeId = 0x122, .dataBid = 8, .parentNodeId = 0x122}});
    img.putLeafBlockPage(10, {{.fileOffset = 18 * 512, .byteCount = 10, .blockId = 0x40}});
    img.putLeafNodePage(14, {{.nodeId = ndb::kFirstMessageNodeId + 0x24, .dataBid = 8}});
    img.putLeafNodePage(16, {{.nodeId = ndb::kFirstMessageNodeId + 0x44, .dataBid = 8}});
    img.setRoots(PstImage::pageOffset(2), PstImage::pageOffset(3));
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    ASSERT_EQ(buildIndexTables(*base), 0);

    std::vector<std::uint64_t> nodePages;
    for (const auto& p : base->leafNbtPages)
        nodePages.push_back(p.pageOffset / 512);
    EXPECT_EQ(nodePages, (std::vector<std::uint64_t>{3, 14, 16}));
    ASSERT_EQ(base->leafBbtPages.size(), 1u);
    EXPECT_EQ(base->blockCount(), 2u);
    EXPECT_EQ(findBlock(*base, 0x40), kNoBlock);
    ASSERT_EQ(base->nodeCount(), 3u);
    EXPECT_EQ(base->nodeTable[0].dataBid, 4u);  // the live root folder has no stale rival
}

TEST_P(IndexTablesTest, RootsThatReachNothingMarkNothingWithoutIndexPagesToFallBackOn) {
    PstImage img(unicode(), 8);
    img.putLeafBlockPage(2, {{.fileOffset = 6 * 512, .byteCount = 10, .blockId = 4}});
    img.putLeafNodePage(3, {{.nodeId = 0x21, .dataBid = 4}});
    img.setRoots(PstImage::pageOffset(2), PstImage::pageOffset(3));
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    EXPECT_EQ(base->leafBbtPages[0].reachable, 1);
    EXPECT_EQ(markReachablePages(*base, PstImage::pageOffset(2)), 0u);  // already marked
    EXPECT_EQ(markReachablePages(*base, 1ull << 40), 0u);
}

// Leaf pages are found by offset in the census lists, in whatever order those come; a listed
// page the root does not reach stays unmarked.
TEST_P(IndexTablesTest, RootsMarkTheLeavesTheyReachInListsOfAnyOrder) {
    PstImage img(unicode(), 12);
    img.putIntermediatePage(2, false, {PstImage::pageOffset(5), PstImage::pageOffset(3)});
    for (std::size_t page : {3, 5, 7})
        img.putLeafBlockPage(page, {{.fileOffset = 10 * 512, .byteCount = 10, .blockId = 4}});
    img.putLeafNodePage(4, {{.nodeId = 0x21, .dataBid = 4}});
    img.setRoots(PstImage::pageOffset(2), PstImage::pageOffset(4));
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    ASSERT_EQ(base->leafBbtPages.size(), 3u);
    std::reverse(base->leafBbtPages.begin(), base->leafBbtPages.end());
    for (IndexPageInfo& p : base->leafBbtPages)
        p.reachable = 0;
    EXPECT_EQ(markReachablePages(*base, PstImage::pageOffset(2)), 2u);
    for (const IndexPageInfo& p : base->leafBbtPages)
        EXPECT_EQ(p.reachable, p.pageOffset != PstImage::pageOffset(7)) << p.pageOffset;
}

// A large index is read in parts on several threads; the table, the drop counts and the
// damage noted are what one thread leaves, damaged entries on every page included.
TEST_P(IndexTablesTest, PagesReadInPartsGiveWhatOneThreadGives) {
    constexpr std::size_t kPages = 5000;
    PstImage img(unicode(), kPages + 8);
    const std::uint64_t end = img.bytes().size();
    for (std::size_t p = 0; p < kPages; ++p) {
        // Blocks in the first pages; every seventh page names one past the end of the file and
        // every eleventh one off the 64-byte grid.
        const std::uint64_t id = 4 * (3 * p + 1), at = 64 * (p % 32);
        img.putLeafBlockPage(
            8 + p,
            {{.fileOffset = at, .byteCount = 10, .blockId = id},
             {.fileOffset = p % 7 ? at : end + 64 * (p + 1), .byteCount = 10, .blockId = id + 4},
             {.fileOffset = p % 11 ? at : at + 3, .byteCount = 10, .blockId = id + 8}});
    }
    img.putLeafNodePage(3, {});
    struct Result {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> blocks;
        std::uint32_t pastEnd, malformed;
        std::vector<std::pair<std::uint64_t, std::vector<std::uint64_t>>> damage;
    };
    auto read = [&](std::uint32_t threads) {
        auto base = openImage(img.bytes());
        base->passThreads = threads;
        EXPECT_EQ(detectFormat(*base), 0);
        buildIndexTables(*base);
        Result r{{}, base->dropped.blocksPastEnd, base->dropped.blocksMalformed, {}};
        for (const BlockEntry& b : base->blockTable)
            r.blocks.emplace_back(b.blockId, b.fileOffset);
        for (std::size_t k = 0; k < static_cast<std::size_t>(DamageKind::Count); ++k)
            r.damage.emplace_back(base->damage.count(static_cast<DamageKind>(k)),
                                  base->damage.firstOffsets(static_cast<DamageKind>(k)));
        return r;
    };
    const Result one = read(1), four = read(4);
    EXPECT_EQ(one.pastEnd, 715u);
    EXPECT_EQ(one.malformed, 455u);
    EXPECT_EQ(one.blocks.size(), 3 * kPages - 715 - 455);
    EXPECT_EQ(four.blocks, one.blocks);
    EXPECT_EQ(four.pastEnd, one.pastEnd);
    EXPECT_EQ(four.malformed, one.malformed);
    EXPECT_EQ(four.damage, one.damage);
}

TEST_P(IndexTablesTest, BlocksPastTheEndOfTheFileAreDropped) {
    PstImage img(unicode(), 8);
    img.putLeafBlockPage(2, {{.fileOffset = 7 * 512, .byteCount = 10, .blockId = 4},
                             {.fileOffset = 8 * 512 + 1, .byteCount = 10, .blockId = 8},
                             {.fileOffset = 6 * 512, .byteCount = 10, .blockId = 12}});
    img.putLeafNodePage(3, {});
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    buildIndexTables(*base);
    ASSERT_EQ(base->blockCount(), 2u);
    EXPECT_EQ(base->dropped.blocksPastEnd, 1u);
    EXPECT_EQ(findBlock(*base, 8), kNoBlock);
    EXPECT_EQ(findBlock(*base, 12), 1);
}

TEST_P(IndexTablesTest, IndexPagesThatPointAtEachOtherTerminate) {
    PstImage img(unicode(), 10);
    img.putIntermediatePage(2, false, {PstImage::pageOffset(3), PstImage::pageOffset(4)});
    img.putIntermediatePage(3, false, {PstImage::pageOffset(2), PstImage::pageOffset(3)});
    img.putLeafBlockPage(4, {{.fileOffset = 9 * 512, .byteCount = 1, .blockId = 4}});
    img.putIntermediatePage(5, true, {PstImage::pageOffset(5), PstImage::pageOffset(6)});
    img.putLeafNodePage(6, {{.nodeId = 0x21, .dataBid = 4}});
    img.setRoots(PstImage::pageOffset(2), PstImage::pageOffset(5));
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    EXPECT_EQ(base->leafBbtPages[0].reachable, 1);
    EXPECT_EQ(base->leafNbtPages[0].reachable, 1);
    EXPECT_EQ(base->bbtPagesSeen, 3u);
}

TEST_P(IndexTablesTest, FindBlockClearsBitZeroAndReturnsTheFirstCopyInTableOrder) {
    PstImage img(unicode(), 8);
    img.putLeafBlockPage(2, {{.fileOffset = 512, .blockId = 0x20},
                             {.fileOffset = 1024, .blockId = 0x10},
                             {.fileOffset = 1536, .blockId = 0x20}});
    img.putLeafNodePage(3, {});  // no roots: every entry is stale
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    buildIndexTables(*base);
    EXPECT_EQ(findBlock(*base, 0x21), 0);
    EXPECT_EQ(findBlock(*base, 0x20), 0);
    EXPECT_EQ(findBlock(*base, 0x11), 1);
    EXPECT_EQ(findBlock(*base, 0x30), kNoBlock);
}

TEST_P(IndexTablesTest, BlockIdZeroNamesNoBlock) {
    PstImage img(unicode(), 8);
    // A garbled entry with id 0 must not become the subnode block of every node without one.
    img.putLeafBlockPage(2,
                         {{.fileOffset = 512, .blockId = 0}, {.fileOffset = 1024, .blockId = 4}});
    img.putLeafNodePage(3, {});
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    buildIndexTables(*base);
    EXPECT_EQ(base->blockCount(), 1u);
    EXPECT_EQ(findBlock(*base, 0), kNoBlock);
    EXPECT_EQ(findBlock(*base, 1), kNoBlock);
    EXPECT_EQ(findBlock(*base, 4), 0);
}

// Lookups in a large index find what a plain binary search finds, however unevenly the ids
// spread: runs, gaps, copies of one id and garbled ids near the top of the range.
TEST(FindBlock, LargeUnevenIndexesMatchABinarySearch) {
    MessageBase base;
    std::vector<std::uint64_t> ids;
    for (std::uint64_t id = 4; id < 40000; id += 4)
        ids.push_back(id);
    for (std::uint64_t id = 1000000; id < 1004000; id += 8)
        ids.insert(ids.end(), {id, id});
    for (std::uint64_t id : {1ull << 40, 1ull << 62, ~3ull})
        ids.push_back(id);
    for (std::size_t i = 0; i < ids.size(); ++i)
        base.blockIdIndex.push_back({ids[i], static_cast<BlockIndex>(i)});
    auto expectSearchResult = [&base](std::uint64_t id) {
        const auto& idx = base.blockIdIndex;
        auto it =
            std::lower_bound(idx.begin(), idx.end(), id,
                             [](const BlockIdRef& r, std::uint64_t v) { return r.blockId < v; });
        const BlockIndex expected = it != idx.end() && it->blockId == id ? it->index : kNoBlock;
        EXPECT_EQ(findBlock(base, id), expected) << id;
    };
    indexBlockIds(base);
    EXPECT_TRUE(base.blockIdSlots.positions.empty());  // too sparse for a table by quarter
    for (std::uint64_t id : {2ull, 4ull, 6ull, 39996ull, 40000ull, 1000000ull, 1000008ull,
                             1003992ull, 1004000ull, 1ull << 40, 1ull << 62, ~3ull, ~7ull})
        expectSearchResult(id);

    // Dense ids, looked up by quarter: leaf and internal ids sharing a quarter, copies of one
    // id, ids with bit 0 set, quarters without ids, and ids outside the range.
    base.blockIdIndex.clear();
    for (std::uint64_t id = 400; id < 4400; id += 2) {
        if (id % 12 == 0) continue;
        base.blockIdIndex.push_back({id, static_cast<BlockIndex>(id)});
        if (id % 40 == 0) base.blockIdIndex.push_back({id, static_cast<BlockIndex>(id + 1)});
        if (id % 56 == 0) base.blockIdIndex.push_back({id + 1, static_cast<BlockIndex>(id + 2)});
    }
    indexBlockIds(base);
    EXPECT_FALSE(base.blockIdSlots.positions.empty());
    for (std::uint64_t id = 0; id < 4500; ++id)
        expectSearchResult(id & ~std::uint64_t{1});
}

TEST_P(IndexTablesTest, ALiveBlockEntryWinsOverAStaleCopyListedEarlier) {
    PstImage img(unicode(), 10);
    // A stale page, earlier in the file, still names block 0x20 at space reused since.
    img.putLeafBlockPage(2, {{.fileOffset = 512, .blockId = 0x20},
                             {.fileOffset = 640, .blockId = 0x30},
                             {.fileOffset = 1000, .blockId = 0x40}});  // not on a block boundary
    img.putLeafBlockPage(3, {{.fileOffset = 1536, .blockId = 0x20}});
    img.putLeafNodePage(4, {});
    img.setRoots(PstImage::pageOffset(3), PstImage::pageOffset(4));
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    buildIndexTables(*base);
    ASSERT_EQ(base->blockCount(), 3u);
    const BlockIndex live = findBlock(*base, 0x20);
    ASSERT_NE(live, kNoBlock);
    EXPECT_EQ(base->blockTable[live].fileOffset, 1536u);
    EXPECT_EQ(base->blockTable[findBlock(*base, 0x30)].reachable, 0);
    EXPECT_EQ(findBlock(*base, 0x40), kNoBlock);
}

TEST_P(IndexTablesTest, EntryCountsBeyondThePageAreClamped) {
    PstImage img(unicode(), 8);
    std::vector<BlockEntry> blocks;
    for (std::uint64_t i = 1; i <= 60; ++i)
        blocks.push_back({.fileOffset = 512, .blockId = 4 * i});
    blocks.resize(unicode() ? 20 : 41);  // as many as the page holds
    img.putLeafBlockPage(2, blocks);
    img.bytes()[2 * 512 + (unicode() ? 488 : 496)] = 255;
    img.putLeafNodePage(3, {});
    auto base = openImage(img.bytes());
    ASSERT_EQ(detectFormat(*base), 0);
    buildIndexTables(*base);
    EXPECT_EQ(base->blockCount(), unicode() ? 488u / 24 : 496u / 12);
}

INSTANTIATE_TEST_SUITE_P(Layouts, IndexTablesTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "Ansi"; });

// A sparse source larger than 4 GiB: offsets past the 32-bit range must survive.
class SparseSource : public ByteSource {
  public:
    explicit SparseSource(std::uint64_t size) : size_(size) {}
    void put(std::uint64_t offset, ByteView data) {
        chunks_[offset] = Bytes(data.begin(), data.end());
    }
    std::uint64_t size() const override { return size_; }
    bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        if (offset > size_ || out.size() > size_ - offset) return false;
        std::fill(out.begin(), out.end(), 0);
        for (const auto& [at, bytes] : chunks_) {
            const std::uint64_t lo = std::max(at, offset);
            const std::uint64_t hi = std::min(at + bytes.size(), offset + out.size());
            for (std::uint64_t p = lo; p < hi; ++p)
                out[p - offset] = bytes[p - at];
        }
        return true;
    }

  private:
    std::uint64_t size_;
    std::map<std::uint64_t, Bytes> chunks_;
};

TEST(IndexTablesLargeFile, OffsetsAndIdsPastFourGiBAreKept) {
    const std::uint64_t far = (5ull << 30) + 512 * 7;
    PstImage img(true, 4);
    img.putLeafBlockPage(2, {{.fileOffset = far, .byteCount = 16, .blockId = (1ull << 33) | 4}});
    img.putLeafNodePage(3, {{.nodeId = ndb::kFirstMessageNodeId, .dataBid = (1ull << 33) | 4}});
    img.setRoots(PstImage::pageOffset(2), PstImage::pageOffset(3));
    auto src = std::make_unique<SparseSource>(6ull << 30);
    src->put(0, img.bytes());
    src->put(far, Bytes(16, 0xAB));
    MessageBase base;
    base.attachSource(std::move(src));
    // Only the header and index pages hold data; skip the census of 12 million empty pages by
    // filling the lists directly, as a census would have.
    base.formatCode = 65532;
    base.layout = PageLayout::unicode();
    base.leafBbtPages.push_back({.pageOffset = 1024, .entryCount = 1, .sizeLevel = 24});
    base.leafNbtPages.push_back({.pageOffset = 1536, .entryCount = 1, .sizeLevel = 32});
    ASSERT_EQ(buildIndexTables(base), 0);
    ASSERT_EQ(base.blockCount(), 1u);
    EXPECT_EQ(base.blockTable[0].fileOffset, far);
    const BlockIndex b = findBlock(base, base.nodeTable[0].dataBid);
    ASSERT_EQ(b, 0);
    EXPECT_EQ(base.readAt(base.blockTable[0].fileOffset, 16), Bytes(16, 0xAB));
}

}  // namespace
}  // namespace brevik
