#include "message/heap_on_node.h"

#include <gtest/gtest.h>

#include "support/node_builder.h"

namespace brevik {
namespace {

HeapImage imageOf(const std::vector<Bytes>& blocks) {
    NodeData data;
    std::uint64_t offset = 4096;
    for (const Bytes& b : blocks) {
        data.bytes.insert(data.bytes.end(), b.begin(), b.end());
        data.blockLengths.push_back(static_cast<std::uint32_t>(b.size()));
        data.blockFileOffsets.push_back(offset);
        offset += 8192;
    }
    return HeapImage::fromNodeData(std::move(data));
}

TEST(FindAllocation, ResolvesAllocationsInEveryBlock) {
    test::HeapBuilder builder(ltp::kClientPropertyContext);
    const std::uint32_t a = builder.add(Bytes(10, 1));
    const std::uint32_t b = builder.add(Bytes(3, 2));
    builder.nextBlock();
    const std::uint32_t c = builder.add(Bytes(7, 3));
    const HeapImage heap = imageOf(builder.blocks());
    ASSERT_EQ(heap.blockCount(), 2u);

    const auto first = findAllocation(heap, a);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->start, 12u);  // after the heap header
    EXPECT_EQ(first->size(), 10u);
    EXPECT_EQ(findAllocation(heap, b)->size(), 3u);
    const auto third = findAllocation(heap, c);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->block, 1u);
    EXPECT_EQ(third->start, heap.blockStarts[1] + 2);
    EXPECT_EQ(heap.bytes[third->start], 3);
    EXPECT_EQ(heap.fileOffsetOf(third->start), 4096u + 8192u + 2u);
}

TEST(FindAllocation, PositionsPastSixtyFourKilobytes) {
    test::HeapBuilder builder(ltp::kClientPropertyContext);
    std::uint32_t last = 0;
    for (int i = 0; i < 10; ++i) {
        if (i) builder.nextBlock();
        last = builder.add(Bytes(8000, static_cast<std::uint8_t>(i)));
    }
    const HeapImage heap = imageOf(builder.blocks());
    const auto alloc = findAllocation(heap, last);
    ASSERT_TRUE(alloc);
    EXPECT_GT(alloc->start, 65535u);
    EXPECT_EQ(heap.bytes[alloc->start], 9);
}

TEST(FindAllocation, RejectsWhatTheHeapDoesNotHold) {
    test::HeapBuilder builder(ltp::kClientPropertyContext);
    const std::uint32_t a = builder.add(Bytes(10, 1));
    std::vector<Bytes> blocks = builder.blocks();
    const HeapImage heap = imageOf(blocks);
    EXPECT_FALSE(findAllocation(heap, 0));
    EXPECT_FALSE(findAllocation(heap, a | 1));           // a node id, not a heap id
    EXPECT_FALSE(findAllocation(heap, a + (1u << 16)));  // block index out of range
    EXPECT_FALSE(findAllocation(heap, a + (1u << 5)));   // index past the page map's count
    EXPECT_FALSE(findAllocation(heap, 0xFFFFFFE0u));

    Bytes farMap = blocks[0];
    store16(farMap.data(), 0xFFF0);
    EXPECT_FALSE(findAllocation(imageOf({farMap}), a));
    Bytes badEnd = blocks[0];
    const std::size_t map = load16(badEnd.data());
    store16(badEnd.data() + map + 6, 0x7FFF);  // allocation ends past its block
    EXPECT_FALSE(findAllocation(imageOf({badEnd}), a));
    Bytes reversed = blocks[0];
    store16(reversed.data() + map + 4, 20);  // starts after it ends
    store16(reversed.data() + map + 6, 14);
    EXPECT_FALSE(findAllocation(imageOf({reversed}), a));
    for (std::size_t cut = 0; cut < blocks[0].size(); ++cut)
        findAllocation(imageOf({Bytes(blocks[0].begin(), blocks[0].begin() + cut)}), a);
}

TEST(HeapImage, BlockLengthsThatOverrunTheBytesAreDropped) {
    NodeData data;
    data.bytes = Bytes(100, 0);
    data.blockLengths = {60, 60};
    data.blockFileOffsets = {0, 0};
    const HeapImage heap = HeapImage::fromNodeData(std::move(data));
    EXPECT_EQ(heap.blockCount(), 1u);
    EXPECT_FALSE(heap.fileOffsetOf(60));
}

}  // namespace
}  // namespace brevik
