#include <gtest/gtest.h>

#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "support/pst_image.h"

namespace brevik {
namespace {

using test::PstImage;
using test::SubnodeSpec;

// A base whose block table names the given blocks, laid out one per page from page 8 on.
std::unique_ptr<MessageBase> baseWithBlocks(
    bool unicode, const std::vector<std::pair<std::uint64_t, Bytes>>& blocks) {
    PstImage img(unicode, 8 + blocks.size());
    std::vector<BlockEntry> entries;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::uint64_t at = PstImage::pageOffset(8 + i);
        img.putBytes(at, blocks[i].second);
        entries.push_back({.fileOffset = at,
                           .byteCount = static_cast<std::uint16_t>(blocks[i].second.size()),
                           .blockId = blocks[i].first});
    }
    img.putLeafBlockPage(2, entries);
    img.putLeafNodePage(3, {});
    auto base = test::openImage(img.bytes());
    EXPECT_EQ(detectFormat(*base), 0);
    buildIndexTables(*base);
    return base;
}

class SubnodeListTest : public ::testing::TestWithParam<bool> {};

TEST_P(SubnodeListTest, NestedListsComeBeforeTheirOwnersEntries) {
    const bool u = GetParam();
    auto base = baseWithBlocks(
        u, {{0x10, test::subnodeLeafBlock(u, {{0x671, 0x40, 0x12}, {0x692, 0x44, 0}})},
            {0x12, test::subnodeLeafBlock(u, {{0x8025, 0x48, 0}})},
            {0x40, Bytes(8, 1)},
            {0x44, Bytes(8, 2)},
            {0x48, Bytes(8, 3)}});
    std::vector<SubnodeEntry> list;
    ASSERT_EQ(readSubnodeList(*base, list, findBlock(*base, 0x10), 0, 0), 1);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].nodeId, 0x8025u);
    EXPECT_EQ(list[0].ownerNodeId, 0x671u);
    EXPECT_EQ(list[0].ownerDataIndex, findBlock(*base, 0x40));
    EXPECT_EQ(list[1].nodeId, 0x671u);
    EXPECT_EQ(list[1].ownerDataIndex, 0);
    EXPECT_EQ(list[2].nodeId, 0x692u);
    EXPECT_EQ(list[2].dataIndex, findBlock(*base, 0x44));
}

TEST_P(SubnodeListTest, IntermediateBlocksAreFollowedToTheirLeaves) {
    const bool u = GetParam();
    auto base =
        baseWithBlocks(u, {{0x10, test::subnodeIntermediateBlock(u, {0x14, 0x18})},
                           {0x14, test::subnodeLeafBlock(u, {{0x100, 0x40, 0}})},
                           {0x18, test::subnodeLeafBlock(u, {{0x200, 0x40, 0}, {0x300, 0x99, 0}})},
                           {0x40, Bytes(8, 1)}});
    std::vector<SubnodeEntry> list;
    ASSERT_EQ(readSubnodeList(*base, list, findBlock(*base, 0x10), 0, 0), 1);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].nodeId, 0x100u);
    EXPECT_EQ(list[1].nodeId, 0x200u);
    EXPECT_EQ(list[2].nodeId, 0x300u);
    EXPECT_EQ(list[2].dataIndex, kNoBlock);
}

TEST_P(SubnodeListTest, MalformedBlocksYieldNothing) {
    const bool u = GetParam();
    Bytes wrongCount = test::subnodeLeafBlock(u, {{0x100, 0x40, 0}});
    wrongCount[2] = 5;  // claims five entries in a block that holds one
    Bytes wrongType = test::subnodeLeafBlock(u, {{0x100, 0x40, 0}});
    wrongType[0] = 0x01;
    auto base = baseWithBlocks(u, {{0x10, wrongCount}, {0x14, wrongType}, {0x40, Bytes(8, 1)}});
    std::vector<SubnodeEntry> list;
    EXPECT_EQ(readSubnodeList(*base, list, findBlock(*base, 0x10), 0, 0), -1);
    EXPECT_EQ(readSubnodeList(*base, list, findBlock(*base, 0x14), 0, 0), -1);
    EXPECT_EQ(readSubnodeList(*base, list, kNoBlock, 0, 0), -1);
    EXPECT_TRUE(list.empty());
}

TEST_P(SubnodeListTest, ABlockThatNamesItselfTerminates) {
    const bool u = GetParam();
    auto base = baseWithBlocks(u, {{0x10, test::subnodeLeafBlock(u, {{0x100, 0x40, 0x10}})},
                                   {0x14, test::subnodeIntermediateBlock(u, {0x14, 0x10})},
                                   {0x40, Bytes(8, 1)}});
    std::vector<SubnodeEntry> list;
    EXPECT_EQ(readSubnodeList(*base, list, findBlock(*base, 0x10), 0, 0), 1);
    EXPECT_EQ(list.size(), 1u);
    list.clear();
    EXPECT_EQ(readSubnodeList(*base, list, findBlock(*base, 0x14), 0, 0), 1);
    EXPECT_EQ(list.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SubnodeListTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
}  // namespace brevik
