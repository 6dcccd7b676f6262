#include "writers/pst/ndb_writer.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/crc.h"
#include "engine/ndb_format.h"
#include "writer_test_util.h"
#include "writers/pst/sample_generator.h"

namespace brevik::pst {
namespace {

using test::ScratchDir;

TEST(Crc, MatchesTheFormatsChecksum) {
    // The format's CRC is zlib's crc32 without the inversions: crc32("123456789") is
    // 0xCBF43926 with them, so started from ~0 and inverted at the end we get the same.
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc32(digits, 9, 0xFFFFFFFFu) ^ 0xFFFFFFFFu, 0xCBF43926u);
    EXPECT_EQ(crc32(digits, 0), 0u);
    // Split input continues where the first part stopped.
    EXPECT_EQ(crc32(digits + 4, 5, crc32(digits, 4)), crc32(digits, 9));
    EXPECT_EQ(ndb::blockSignature(0x4400, 0x4400), 0);
    EXPECT_EQ(ndb::blockSignature(0x12345678, 0), 0x1234 ^ 0x5678);
}

// A small sample with deleted and orphaned items, written once for the tests below.
class WrittenSample : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        SampleOptions options;
        options.items = 40;
        options.deleted = 5;
        options.orphans = 3;
        path_ = dir_->file("sample.pst");
        ASSERT_TRUE(generateSamplePst(path_, options, &stats_).ok());
        bytes_ = new Bytes(test::readFile(path_));
    }
    static void TearDownTestSuite() {
        delete bytes_;
        delete dir_;
    }
    static const Bytes& bytes() { return *bytes_; }

    static ScratchDir* dir_;
    static std::string path_;
    static Bytes* bytes_;
    static PstWriteStats stats_;
};
ScratchDir* WrittenSample::dir_ = nullptr;
std::string WrittenSample::path_;
Bytes* WrittenSample::bytes_ = nullptr;
PstWriteStats WrittenSample::stats_;

TEST_F(WrittenSample, HeaderIsUnicodeWithValidChecksumsAndRoots) {
    const Bytes& f = bytes();
    ASSERT_GE(f.size(), 0x4400u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "!BDN");
    EXPECT_EQ(load16(&f[8]), 0x4D53);
    EXPECT_EQ(load16(&f[10]), 23);
    EXPECT_EQ(load32(&f[4]), crc32(&f[8], 471));
    EXPECT_EQ(load32(&f[524]), crc32(&f[8], 516));
    EXPECT_EQ(f[512], 0x80);
    EXPECT_EQ(f[513], 1);
    EXPECT_EQ(load64(&f[184]), f.size());  // ibFileEof
    EXPECT_EQ((f.size() - 0x4400) % 253952, 0u);
    EXPECT_EQ(load64(&f[192]), f.size() - 253952);  // ibAMapLast
    EXPECT_EQ(f[248], 2);                           // fAMapValid
    // The roots point at B-tree pages of the right kind.
    EXPECT_EQ(f[load64(&f[224]) + 496], 0x81);
    EXPECT_EQ(f[load64(&f[240]) + 496], 0x80);
}

TEST_F(WrittenSample, EveryPageAndBlockCarriesItsChecksums) {
    auto base = test::openWritten(path_);
    ASSERT_TRUE(base);
    const Bytes& f = bytes();
    std::size_t pages = 0;
    for (const auto* list : {&base->leafBbtPages, &base->leafNbtPages})
        for (const auto& page : *list) {
            const std::uint8_t* p = &f[page.pageOffset];
            EXPECT_EQ(load32(p + 500), crc32(p, 496)) << page.pageOffset;
            EXPECT_EQ(load16(p + 498), ndb::blockSignature(page.pageOffset, load64(p + 504)));
            ++pages;
        }
    EXPECT_GT(pages, 4u);
    for (const BlockEntry& b : base->blockTable) {
        const std::uint64_t size = (b.byteCount + 16 + 63) / 64 * 64;
        ASSERT_LE(b.fileOffset + size, f.size());
        const std::uint8_t* trailer = &f[b.fileOffset + size - 16];
        EXPECT_EQ(load16(trailer), b.byteCount);
        EXPECT_EQ(load16(trailer + 2), ndb::blockSignature(b.fileOffset, b.blockId));
        EXPECT_EQ(load32(trailer + 4), crc32(&f[b.fileOffset], b.byteCount));
        EXPECT_EQ(load64(trailer + 8), b.blockId);
        EXPECT_EQ(b.fileOffset % 64, 0u);
    }
    // Map pages: the AMap of every section, with its own checksum.
    for (std::uint64_t at = 0x4400; at < f.size(); at += 253952) {
        EXPECT_EQ(f[at + 496], 0x84);
        EXPECT_EQ(load32(&f[at + 500]), crc32(&f[at], 496));
        EXPECT_EQ(f[at], 0xFF);  // the AMap and the PMap after it are taken
    }
}

TEST_F(WrittenSample, AllocationMapsTakeLiveDataAndFreeDeletedData) {
    auto base = test::openWritten(path_);
    ASSERT_TRUE(base);
    const Bytes& f = bytes();
    auto allocated = [&](std::uint64_t offset) {
        const std::uint64_t section = (offset - 0x4400) / 253952;
        const std::uint64_t bit = (offset - 0x4400 - section * 253952) / 64;
        return (f[0x4400 + section * 253952 + bit / 8] & (0x80 >> (bit % 8))) != 0;
    };
    std::uint64_t freeBits = 0;
    for (std::uint64_t at = 0x4400; at < f.size(); at += 253952)
        for (int i = 0; i < 496; ++i)
            freeBits += 8 - __builtin_popcount(f[at + i]);
    EXPECT_EQ(load64(&f[200]), freeBits * 64);  // cbAMapFree

    std::size_t live = 0, freed = 0;
    std::set<std::uint64_t> reachableBlocks;
    for (const auto& page : base->leafBbtPages)
        if (page.reachable) {
            for (int i = 0; i < f[page.pageOffset + 488]; ++i)
                reachableBlocks.insert(load64(&f[page.pageOffset + i * 24]));
        }
    for (const BlockEntry& b : base->blockTable) {
        if (reachableBlocks.count(b.blockId)) {
            EXPECT_TRUE(allocated(b.fileOffset)) << b.fileOffset;
            ++live;
        } else {
            EXPECT_FALSE(allocated(b.fileOffset)) << b.fileOffset;
            ++freed;
        }
    }
    EXPECT_GT(live, 100u);
    EXPECT_GT(freed, 5u);  // the deleted items' blocks
}

TEST_F(WrittenSample, DeletedItemsSitOnlyOnUnreachablePagesAndOrphansLackTheirFolder) {
    auto base = test::openWritten(path_);
    ASSERT_TRUE(base);
    std::set<std::uint32_t> folders, reachableItems, staleItems;
    for (const NodeEntry& n : base->nodeTable) {
        if ((n.nodeId & 0x1F) == 2 && n.reachable) folders.insert(n.nodeId);
        if ((n.nodeId & 0x1F) != 4) continue;
        (n.reachable ? reachableItems : staleItems).insert(n.nodeId);
    }
    EXPECT_EQ(reachableItems.size(), 40u + 3u);
    EXPECT_EQ(staleItems.size(), 5u);
    for (std::uint32_t nid : staleItems) {
        EXPECT_FALSE(reachableItems.count(nid)) << nid;
        const NodeEntry* n = test::findNode(*base, nid, false);
        ASSERT_TRUE(n);
        EXPECT_TRUE(folders.count(n->parentNodeId));  // deleted from a folder that still exists
        EXPECT_NE(findBlock(*base, n->dataBid), kNoBlock);
        EXPECT_EQ(test::readNode(*base, *n).size(), 1u);  // and still readable
    }
    std::size_t orphans = 0;
    for (std::uint32_t nid : reachableItems)
        if (!folders.count(test::findNode(*base, nid)->parentNodeId)) ++orphans;
    EXPECT_EQ(orphans, 3u);
}

TEST(NdbWriter, FilesPastOneAllocationSectionKeepBlocksOutOfMapPages) {
    ScratchDir dir;
    WriteStatus status;
    auto sink = FileSink::create(dir.file("raw.pst"), 0, status);
    ASSERT_TRUE(sink);
    NdbWriter ndb(*sink, false);
    // 9 sections' worth of 8 KB blocks: crosses PMap sections too.
    std::vector<std::uint64_t> bids;
    for (int i = 0; i < 300; ++i)
        bids.push_back(ndb.writeStream(Bytes(8176, static_cast<std::uint8_t>(i))));
    ndb.addNode(0x21, 0, bids[0], 0);
    ASSERT_TRUE(ndb.finish());
    const Bytes f = test::readFile(dir.file("raw.pst"));
    auto base = test::openWritten(dir.file("raw.pst"));
    ASSERT_TRUE(base);
    ASSERT_EQ(base->blockTable.size(), 300u);
    for (const BlockEntry& b : base->blockTable) {
        const std::uint64_t section = (b.fileOffset - 0x4400) / 253952;
        const std::uint64_t start = 0x4400 + section * 253952;
        const std::uint64_t reserved = section % 8 == 0 ? 1024 : 512;
        EXPECT_GE(b.fileOffset, start + reserved);
        EXPECT_LE(b.fileOffset + 8192, start + 253952);
        EXPECT_EQ(f[b.fileOffset + 5], static_cast<std::uint8_t>(b.blockId / 4 - 1));
    }
    EXPECT_EQ(f[0x4400 + 8 * 253952 + 512 + 496], 0x83);  // the second PMap
}

}  // namespace
}  // namespace brevik::pst
