#include "message/node_data.h"

#include <gtest/gtest.h>

#include "message/property_reader.h"
#include "support/node_builder.h"

namespace brevik {
namespace {

Bytes filled(std::size_t n, std::uint8_t v) {
    return Bytes(n, v);
}

class NodeDataTest : public ::testing::TestWithParam<bool> {
  protected:
    test::ImageBuilder image{GetParam(), true};
    RecoveredBase base;
};

TEST_P(NodeDataTest, SingleBlockIsDecoded) {
    const BlockIndex b = image.addData({1, 2, 3, 0xEC});
    image.install(base);
    const NodeData d = readNodeData(base, b);
    EXPECT_EQ(d.bytes, (Bytes{1, 2, 3, 0xEC}));
    EXPECT_EQ(d.blockFileOffsets, std::vector<std::uint64_t>{base.blockTable[b].fileOffset});
    EXPECT_TRUE(d.complete);
    EXPECT_FALSE(d.fromTree);
    // An external block whose data starts like a tree is still data.
    const BlockIndex lookalike = image.addData({0x01, 0x01, 0x01, 0x00, 0, 0, 0, 0, 4, 0, 0, 0});
    image.install(base);
    EXPECT_EQ(readSubnodeData(base, lookalike).size(), 12u);
    EXPECT_TRUE(readSubnodeData(base, kNoBlock).empty());
}

TEST_P(NodeDataTest, TreesJoinTheirBlocksInOrder) {
    const BlockIndex a = image.addData(filled(100, 1));
    const BlockIndex b = image.addData(filled(50, 2));
    const BlockIndex c = image.addData(filled(30, 3));
    const BlockIndex left = image.addTree(1, {a, b});
    const BlockIndex right = image.addTree(1, {c});
    const BlockIndex top = image.addTree(2, {left, right});
    image.install(base);

    const NodeData one = readNodeData(base, left);
    EXPECT_TRUE(one.complete && one.fromTree);
    EXPECT_EQ(one.blockLengths, (std::vector<std::uint32_t>{100, 50}));
    const NodeData two = readNodeData(base, top);
    EXPECT_TRUE(two.complete);
    ASSERT_EQ(two.bytes.size(), 180u);
    EXPECT_EQ(two.bytes[99], 1);
    EXPECT_EQ(two.bytes[100], 2);
    EXPECT_EQ(two.bytes[179], 3);
    EXPECT_EQ(two.blockFileOffsets[2], base.blockTable[c].fileOffset);
    EXPECT_EQ(readSubnodeData(base, top), two.bytes);
}

TEST_P(NodeDataTest, TreeThatStopsEarlyKeepsWhatWasJoined) {
    const BlockIndex a = image.addData(filled(100, 1));
    const BlockIndex missing = image.addTree(1, {a, kNoBlock, a});
    const BlockIndex notATree = image.addTree(2, {a});  // level 2 must lead to trees
    image.install(base);
    const NodeData d = readNodeData(base, missing);
    EXPECT_FALSE(d.complete);
    EXPECT_EQ(d.bytes.size(), 100u);
    EXPECT_EQ(d.blockLengths.size(), 1u);
    const NodeData e = readNodeData(base, notATree);
    EXPECT_FALSE(e.complete);
    EXPECT_TRUE(e.bytes.empty());
}

TEST_P(NodeDataTest, TreesThatNameThemselvesOrClaimTooMuchEnd) {
    const BlockIndex a = image.addData(filled(10, 1));
    // A level-2 tree whose child is itself, and a tree whose count overruns its block.
    const std::uint64_t selfId = 0x7002;
    Bytes self{0x01, 0x02, 0x01, 0x00, 0, 0, 0, 0};
    self.resize(8 + (image.unicode() ? 8 : 4), 0);
    store32(self.data() + 8, static_cast<std::uint32_t>(selfId));
    const BlockIndex selfTree = image.addRaw(self, selfId);
    Bytes huge{0x01, 0x01, 0xFF, 0xFF, 0, 0, 0, 0};
    huge.resize(8 + (image.unicode() ? 8 : 4), 0);
    store32(huge.data() + 8, static_cast<std::uint32_t>(image.blockId(a)));
    const BlockIndex hugeTree = image.addRaw(huge, 0x7006);
    image.install(base);

    EXPECT_FALSE(readNodeData(base, selfTree).complete);
    const NodeData d = readNodeData(base, hugeTree);
    EXPECT_FALSE(d.complete);
    EXPECT_EQ(d.bytes.size(), 10u);
}

TEST_P(NodeDataTest, UnreadableBlocksGiveNothing) {
    const BlockIndex a = image.addData(filled(10, 1));
    image.entry(a).fileOffset = 1u << 30;  // past the end of the image
    image.install(base);
    EXPECT_TRUE(readNodeData(base, a).bytes.empty());
    EXPECT_TRUE(readBlock(base, 12345, true).empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, NodeDataTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
}  // namespace brevik
