#include "writers/pst/heap_builder.h"

#include <gtest/gtest.h>

#include "message/heap_on_node.h"
#include "writers/pst/table_context.h"

namespace brevik::pst {
namespace {

// The blocks as our reader joins them.
HeapImage imageOf(const std::vector<Bytes>& blocks) {
    NodeData data;
    for (const Bytes& b : blocks) {
        data.blockFileOffsets.push_back(data.bytes.size());
        data.blockLengths.push_back(static_cast<std::uint32_t>(b.size()));
        data.bytes.insert(data.bytes.end(), b.begin(), b.end());
    }
    return HeapImage::fromNodeData(std::move(data));
}

Bytes filled(std::size_t size, std::uint8_t value) {
    return Bytes(size, value);
}

TEST(HeapBuilder, AllocationsResolveThroughThePageMapsAcrossBlocks) {
    HeapBuilder heap(HeapClient::PropertyContext);
    std::vector<std::pair<std::uint32_t, Bytes>> allocations;
    for (int i = 0; i < 40; ++i) {
        Bytes value = filled(static_cast<std::size_t>(1000 + i * 60), static_cast<std::uint8_t>(i));
        allocations.emplace_back(heap.allocate(value), std::move(value));
    }
    heap.setUserRoot(allocations[0].first);
    EXPECT_EQ(allocations[0].first, 0x20u);  // block 0, index 1
    const auto blocks = heap.finish();
    ASSERT_GT(blocks.size(), 9u);  // past block 8, which carries the bitmap header
    for (const Bytes& b : blocks)
        EXPECT_LE(b.size(), 8176u);
    EXPECT_EQ(blocks[0][2], 0xEC);
    EXPECT_EQ(blocks[0][3], 0xBC);
    EXPECT_EQ(load32(&blocks[0][4]), 0x20u);

    const HeapImage image = imageOf(blocks);
    for (const auto& [hid, value] : allocations) {
        const auto a = findAllocation(image, hid);
        ASSERT_TRUE(a) << std::hex << hid;
        EXPECT_EQ(Bytes(image.bytes.begin() + a->start, image.bytes.begin() + a->end), value);
    }
    // Block 8 starts with HNBITMAPHDR (66 bytes), so its first allocation starts there.
    const std::uint32_t firstInBlock8 = (8u << 16) | 0x20;
    const auto a = findAllocation(image, firstInBlock8);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->start - image.blockStarts[8], 66u);
}

TEST(HeapBuilder, TooLargeAllocationIsRefusedAndEmptyHeapIsValid) {
    HeapBuilder heap(HeapClient::TableContext);
    EXPECT_EQ(heap.allocate(filled(3581, 1)), 0u);
    EXPECT_NE(heap.allocate(filled(3580, 1)), 0u);
    HeapBuilder empty(HeapClient::TableContext);
    const auto blocks = empty.finish();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(load16(blocks[0].data()), 12u);       // page map right after HNHDR
    EXPECT_EQ(load16(blocks[0].data() + 12), 0u);   // no allocations
    EXPECT_EQ(load16(blocks[0].data() + 16), 12u);  // and the end offset
}

TEST(Bth, DeepTreesIndexEveryLeafByItsFirstKey) {
    HeapBuilder heap(HeapClient::TableContext);
    constexpr std::size_t kRecords = 200000;  // 448 leaves: three levels
    Bytes records(kRecords * 8);
    for (std::size_t i = 0; i < kRecords; ++i) {
        store32(records.data() + i * 8, static_cast<std::uint32_t>(i * 3));
        store32(records.data() + i * 8 + 4, static_cast<std::uint32_t>(i));
    }
    const std::uint32_t header = writeBth(heap, 4, 4, records, kRecords);
    const HeapImage image = imageOf(heap.finish());
    const auto h = findAllocation(image, header);
    ASSERT_TRUE(h);
    const std::uint8_t* hb = image.bytes.data() + h->start;
    EXPECT_EQ(hb[0], 0xB5);
    EXPECT_EQ(hb[1], 4);
    EXPECT_EQ(hb[2], 4);
    ASSERT_EQ(hb[3], 2);  // two index levels above the leaves
    // Walk down the first key path and the last: every level's keys ascend.
    std::uint32_t node = load32(hb + 4);
    for (int level = 2; level > 0; --level) {
        const auto a = findAllocation(image, node);
        ASSERT_TRUE(a);
        std::uint32_t previous = 0;
        for (std::size_t at = a->start; at < a->end; at += 8) {
            const std::uint32_t key = load32(image.bytes.data() + at);
            EXPECT_TRUE(at == a->start || key > previous);
            previous = key;
        }
        node = load32(image.bytes.data() + a->end - 4);  // the last child
    }
    const auto leaf = findAllocation(image, node);
    ASSERT_TRUE(leaf);
    EXPECT_EQ(load32(image.bytes.data() + leaf->end - 8), (kRecords - 1) * 3);
}

TEST(TableBuilder, ColumnsAreCappedAtWhatTheFormatCanName) {
    std::vector<std::uint32_t> tags;
    PropertyList cells;
    for (std::uint16_t i = 0; i < 300; ++i) {
        tags.push_back((0x4000u + i) << 16 | 0x0003);
        cells.push_back(int32Property(static_cast<std::uint16_t>(0x4000 + i), i));
    }
    TableBuilder table(tags);
    EXPECT_EQ(table.addRow(1, cells), 300u - 254u);  // 254 columns plus the row id
    EXPECT_EQ(table.rowSize(), 4u + 254u * 4u + 32u);
}

}  // namespace
}  // namespace brevik::pst
