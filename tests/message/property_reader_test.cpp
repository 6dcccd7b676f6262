#include "message/property_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "message/text.h"
#include "support/corpus.h"
#include "support/node_builder.h"

namespace brevik {
namespace {

using test::HeapBuilder;
using test::ImageBuilder;
using test::PcProp;
using test::TcLayout;

constexpr std::uint8_t kPc = 0xBC;
constexpr std::uint8_t kTc = 0x7C;
constexpr std::uint32_t kSubnodeNid = 0x805F;  // an LTP subnode id: low five bits set

Bytes utf16(const std::string& ascii) {
    Bytes b;
    for (char c : ascii) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(0);
    }
    return b;
}

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

const PropertyValue* find(const PropertyRow& row, std::uint32_t id) {
    for (const auto& v : row)
        if (v.present() && v.id == id) return &v;
    return nullptr;
}

std::size_t presentCount(const PropertyRow& row) {
    std::size_t n = 0;
    for (const auto& v : row)
        n += v.present();
    return n;
}

struct Layout {
    bool unicode;
    bool permute;
};

class PropertyReaderTest : public ::testing::TestWithParam<Layout> {
  protected:
    ImageBuilder image{GetParam().unicode, GetParam().permute};
    RecoveredBase base;
    PropertyList rows;

    int read(BlockIndex node, const std::vector<SubnodeEntry>& subnodes = {}, bool load = true,
             ReadMode mode = ReadMode::Records) {
        image.install(base);
        return readPropertyList(base, rows, node, subnodes, load, mode);
    }
};

// A PC with values spread over the heap's blocks when `split` is set.
BlockIndex buildMixedPc(ImageBuilder& image, bool split, bool asTree) {
    HeapBuilder heap(kPc);
    const std::uint32_t subject = heap.add(utf16("Quarterly report"));
    if (split) heap.nextBlock();
    const std::uint32_t body = heap.add(pattern(3000, 1));
    if (split) heap.nextBlock();
    const std::uint32_t time = heap.add(pattern(8, 9));
    addPropertyContext(heap, {{0x0037, ptype::kUnicode, subject},
                              {0x1000, ptype::kBinary, body},
                              {0x0E06, ptype::kTime, time},
                              {0x0E07, ptype::kInt32, 0x31},
                              {0x0E1B, ptype::kBoolean, 1},
                              {0x0017, ptype::kInt16, 2},
                              {0x0E08, ptype::kInt32, 0},
                              {0x0E09, ptype::kBinary, 0},
                              {0x0E0A, ptype::kFloat, 0x3F800000},
                              {0x0E0B, ptype::kError, 0x8004010F}});
    return image.addHeap(heap, asTree);
}

TEST_P(PropertyReaderTest, PropertyContextKeepsWhatRecordsUse) {
    const BlockIndex node = buildMixedPc(image, false, false);
    ASSERT_EQ(read(node), 0);
    ASSERT_EQ(rows.size(), 1u);
    const PropertyRow& row = rows[0];
    EXPECT_EQ(row.size(), 10u);  // one slot per record; unstored ones stay empty at the end
    EXPECT_EQ(presentCount(row), 7u);

    const PropertyValue* subject = find(row, 0x0037);
    ASSERT_TRUE(subject && subject->data);
    EXPECT_EQ(*subject->data, utf16("Quarterly report"));
    EXPECT_EQ(subject->locator.length, subject->data->size());
    EXPECT_EQ(find(row, 0x1000)->size(), 3000u);
    EXPECT_EQ(find(row, 0x0E06)->size(), 8u);

    const PropertyValue* flags = find(row, 0x0E07);
    ASSERT_TRUE(flags);
    EXPECT_EQ(*flags->data, (Bytes{0x31, 0, 0, 0}));
    EXPECT_EQ(flags->locator.position, 0x31);
    EXPECT_EQ(*find(row, 0x0017)->data, (Bytes{2, 0, 0, 0}));
    ASSERT_TRUE(find(row, 0x0E08));   // inline zero is a value
    EXPECT_FALSE(find(row, 0x0E09));  // HNID 0 names nothing
    EXPECT_FALSE(find(row, 0x0E0A));
    EXPECT_FALSE(find(row, 0x0E0B));
}

TEST_P(PropertyReaderTest, CompleteModeKeepsEveryType) {
    const BlockIndex node = buildMixedPc(image, false, false);
    ASSERT_EQ(read(node, {}, true, ReadMode::Complete), 0);
    const PropertyRow& row = rows[0];
    EXPECT_EQ(presentCount(row), 10u);
    EXPECT_EQ(*find(row, 0x0E0A)->data, (Bytes{0x00, 0x00, 0x80, 0x3F}));
    EXPECT_EQ(*find(row, 0x0E0B)->data, (Bytes{0x0F, 0x01, 0x04, 0x80}));
    EXPECT_EQ(find(row, 0x0E09)->size(), 0u);  // an empty binary value
}

TEST_P(PropertyReaderTest, HeapInThreeBlockTreeReadsLikeOneBlock) {
    const BlockIndex one = buildMixedPc(image, false, false);
    const BlockIndex tree = buildMixedPc(image, true, true);
    ASSERT_EQ(read(one), 0);
    const PropertyList single = rows;
    ASSERT_EQ(read(tree), 0);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), single[0].size());
    for (std::size_t i = 0; i < rows[0].size(); ++i) {
        EXPECT_EQ(rows[0][i].id, single[0][i].id);
        EXPECT_EQ(rows[0][i].data, single[0][i].data);
    }
}

TEST_P(PropertyReaderTest, HeapLocatorsReadTheSameBytesAgain) {
    const BlockIndex one = buildMixedPc(image, false, false);
    const BlockIndex tree = buildMixedPc(image, true, true);
    for (BlockIndex node : {one, tree}) {
        ASSERT_EQ(read(node), 0);
        for (std::uint32_t id : {0x0037u, 0x1000u, 0x0E06u}) {
            const PropertyValue* v = find(rows[0], id);
            ASSERT_TRUE(v && v->data);
            EXPECT_EQ(loadValue(base, v->locator, 0, false), *v->data) << std::hex << id;
        }
        Bytes padded = loadValue(base, find(rows[0], 0x1000)->locator, 2, false);
        EXPECT_EQ(padded.size(), 3002u);
        EXPECT_EQ(padded.back(), 0);
        const Bytes text = loadValue(base, find(rows[0], 0x0037)->locator, 2, true);
        EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), "Quarterly report");
    }
}

TEST_P(PropertyReaderTest, HeapOverSixtyFourKilobytes) {
    HeapBuilder heap(kPc);
    std::vector<PcProp> props;
    for (std::uint16_t b = 0; b < 12; ++b) {
        if (b) heap.nextBlock();
        props.push_back({static_cast<std::uint16_t>(0x6000 + b), ptype::kBinary,
                         heap.add(pattern(7000, static_cast<std::uint8_t>(b)))});
    }
    addPropertyContext(heap, props);
    const BlockIndex node = image.addHeap(heap, true);
    ASSERT_EQ(read(node), 0);
    EXPECT_EQ(presentCount(rows[0]), 12u);
    const PropertyValue* last = find(rows[0], 0x600B);
    ASSERT_TRUE(last && last->data);
    EXPECT_EQ(*last->data, pattern(7000, 11));
    EXPECT_EQ(loadValue(base, last->locator, 0, false), *last->data);
}

TEST_P(PropertyReaderTest, IndexedBthReadsEveryLeaf) {
    HeapBuilder heap(kPc);
    std::vector<PcProp> props;
    for (std::uint16_t i = 0; i < 20; ++i)
        props.push_back({static_cast<std::uint16_t>(0x3000 + i), ptype::kInt32, i + 100u});
    addPropertyContext(heap, props, 6);
    ASSERT_EQ(read(image.addHeap(heap, false)), 0);
    ASSERT_EQ(presentCount(rows[0]), 20u);
    EXPECT_EQ(rows[0][19].id, 0x3013u);
}

TEST_P(PropertyReaderTest, EmptyBthIsAnEmptyList) {
    HeapBuilder heap(kPc);
    addPropertyContext(heap, {});
    ASSERT_EQ(read(image.addHeap(heap, false)), 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].empty());
}

TEST_P(PropertyReaderTest, SubnodeValuesLoadNowOrLater) {
    HeapBuilder heap(kPc);
    addPropertyContext(heap, {{0x1000, ptype::kUnicode, kSubnodeNid},
                              {0x1001, ptype::kBinary, 0x80BF}});  // no such subnode
    const BlockIndex node = image.addHeap(heap, false);
    const BlockIndex bodyIndex = image.addData(utf16("a long body"));
    const std::vector<SubnodeEntry> subnodes{{kSubnodeNid, bodyIndex, 0, 0}};

    ASSERT_EQ(read(node, subnodes, false), 0);
    const PropertyValue* body = find(rows[0], 0x1000);
    ASSERT_TRUE(body);
    EXPECT_FALSE(body->data.has_value());
    EXPECT_EQ(body->locator.position, bodyIndex);
    EXPECT_EQ(body->locator.length, 0u);
    EXPECT_EQ(loadValue(base, body->locator, 0, false), utf16("a long body"));
    const PropertyValue* missing = find(rows[0], 0x1001);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->locator.position, kNoBlock);
    EXPECT_TRUE(loadValue(base, missing->locator, 2, false).empty());

    ASSERT_EQ(read(node, subnodes, true), 0);
    EXPECT_EQ(*find(rows[0], 0x1000)->data, utf16("a long body"));
}

TEST_P(PropertyReaderTest, ObjectPropertyNamingASubnode) {
    HeapBuilder heap(kPc);
    Bytes named(8, 0), unnamed(8, 0);
    store32(named.data(), kSubnodeNid);
    store32(named.data() + 4, 5);
    store32(unnamed.data(), 0x12345);
    addPropertyContext(heap, {{0x3701, ptype::kObject, heap.add(named)},
                              {0x3702, ptype::kObject, heap.add(unnamed)}});
    const BlockIndex node = image.addHeap(heap, false);
    const BlockIndex attached = image.addData({'h', 'e', 'l', 'l', 'o'});
    ASSERT_EQ(read(node, {{kSubnodeNid, attached, 0, 0}}, false), 0);
    const PropertyValue* obj = find(rows[0], 0x3701);
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->locator.position, attached);
    EXPECT_EQ(obj->locator.length, 0u);
    EXPECT_EQ(loadValue(base, obj->locator, 0, false), (Bytes{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(*find(rows[0], 0x3702)->data, unnamed);
}

// Columns of a recipient-like table: 4-byte cells first, then 2-, then 1-byte, then the bitmap.
TcLayout recipientLayout() {
    TcLayout t;
    t.columns = {{ptype::kInt32, 0x0C15, 0, 4, 0},  {ptype::kUnicode, 0x3001, 4, 4, 1},
                 {ptype::kTime, 0x3007, 8, 8, 2},   {ptype::kFloat, 0x3010, 16, 4, 3},
                 {ptype::kInt16, 0x3011, 20, 2, 4}, {ptype::kBoolean, 0x3012, 22, 1, 5}};
    t.end4 = 20;
    t.end2 = 22;
    t.end1 = 23;
    t.rowWidth = 24;
    return t;
}

std::vector<std::vector<std::uint64_t>> recipientCells(HeapBuilder& heap, int n) {
    std::vector<std::vector<std::uint64_t>> cells;
    for (int r = 0; r < n; ++r) {
        const std::uint32_t name = heap.add(utf16("Recipient " + std::to_string(r)));
        cells.push_back(
            {static_cast<std::uint64_t>(r + 1), name, 0x01D0000000000000ull + r, 0x3F800000, 7, 1});
    }
    return cells;
}

TEST_P(PropertyReaderTest, TableRowsInTheHeap) {
    HeapBuilder heap(kTc);
    const TcLayout layout = recipientLayout();
    const Bytes matrix = buildRows(layout, recipientCells(heap, 2));
    const bool unicode = GetParam().unicode;
    addTableContext(heap, layout, unicode, 2 * (unicode ? 8 : 6), heap.add(matrix));
    const BlockIndex node = image.addHeap(heap, false);

    ASSERT_GE(read(node), 0);
    ASSERT_EQ(rows.size(), 2u);
    const PropertyRow& r1 = rows[1];
    EXPECT_EQ(*find(r1, 0x0C15)->data, (Bytes{2, 0, 0, 0}));
    const PropertyValue* name = find(r1, 0x3001);
    ASSERT_TRUE(name && name->data);
    EXPECT_EQ(*name->data, utf16("Recipient 1"));
    EXPECT_EQ(loadValue(base, name->locator, 0, false), *name->data);
    EXPECT_FALSE(find(r1, 0x3007));  // 8-byte cells read as 0 for records
    EXPECT_FALSE(find(r1, 0x3010));
    EXPECT_EQ(*find(r1, 0x3011)->data, (Bytes{7, 0, 0, 0}));
    EXPECT_EQ(*find(r1, 0x3012)->data, (Bytes{1, 0, 0, 0}));

    ASSERT_GE(read(node, {}, true, ReadMode::Complete), 0);
    const PropertyValue* time = find(rows[1], 0x3007);
    ASSERT_TRUE(time && time->data);
    ASSERT_EQ(time->size(), 8u);
    EXPECT_EQ(load64(time->data->data()), 0x01D0000000000001ull);
    EXPECT_EQ(loadValue(base, time->locator, 0, false), *time->data);
    EXPECT_EQ(*find(rows[1], 0x3010)->data, (Bytes{0x00, 0x00, 0x80, 0x3F}));
}

TEST_P(PropertyReaderTest, CompleteModeHonoursTheExistenceBitmap) {
    HeapBuilder heap(kTc);
    const TcLayout layout = recipientLayout();
    Bytes matrix = buildRows(layout, recipientCells(heap, 1));
    matrix[layout.end1] &= static_cast<std::uint8_t>(~(0x80u >> 1));  // the name cell is absent
    const bool unicode = GetParam().unicode;
    addTableContext(heap, layout, unicode, unicode ? 8 : 6, heap.add(matrix));
    const BlockIndex node = image.addHeap(heap, false);
    ASSERT_GE(read(node, {}, true, ReadMode::Complete), 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_FALSE(find(rows[0], 0x3001));
    EXPECT_TRUE(find(rows[0], 0x0C15));
}

// Row matrix of `matrixRows` rows in a subnode, row index of `indexBytes` bytes.
BlockIndex tableWithSubnodeRows(ImageBuilder& image, int matrixRows, std::size_t indexBytes,
                                std::vector<SubnodeEntry>& subnodes) {
    HeapBuilder heap(kTc);
    const TcLayout layout = recipientLayout();
    const Bytes matrix = buildRows(layout, recipientCells(heap, matrixRows));
    addTableContext(heap, layout, image.unicode(), indexBytes, kSubnodeNid);
    const BlockIndex node = image.addHeap(heap, false);
    subnodes = {{kSubnodeNid, image.addData(matrix), 0, 0}};
    return node;
}

TEST_P(PropertyReaderTest, RowCountFromRecordSizeWithSizeGuessAsFallback) {
    std::vector<SubnodeEntry> subnodes;
    // 24 bytes of row index: 3 records of 8 bytes (Unicode), 4 of 6 (ANSI).
    const BlockIndex three = tableWithSubnodeRows(image, 3, 24, subnodes);
    ASSERT_GE(read(three, subnodes), 0);
    EXPECT_EQ(rows.size(), 3u);  // ANSI: 4 by the index, but 24 / 8 matches the matrix
    EXPECT_EQ(*find(rows[2], 0x3001)->data, utf16("Recipient 2"));

    const BlockIndex four = tableWithSubnodeRows(image, 4, 24, subnodes);
    ASSERT_GE(read(four, subnodes), 0);
    EXPECT_EQ(rows.size(), GetParam().unicode ? 3u : 4u);

    // 3 Unicode records = 24 bytes would be 4 ANSI rows; the record size decides.
    const BlockIndex nine =
        tableWithSubnodeRows(image, 9, 9 * (GetParam().unicode ? 8 : 6), subnodes);
    ASSERT_GE(read(nine, subnodes), 0);
    EXPECT_EQ(rows.size(), 9u);
}

TEST_P(PropertyReaderTest, RowMatrixInADataTreeKeepsRowsWithinBlocks) {
    HeapBuilder heap(kTc);
    const TcLayout layout = recipientLayout();
    const auto cells = recipientCells(heap, 5);
    addTableContext(heap, layout, image.unicode(), 5 * (image.unicode() ? 8 : 6), kSubnodeNid);
    const BlockIndex node = image.addHeap(heap, false);
    Bytes first = buildRows(layout, {cells.begin(), cells.begin() + 3});
    first.resize(first.size() + 10, 0xEE);  // padding after the last whole row of a block
    const Bytes second = buildRows(layout, {cells.begin() + 3, cells.end()});
    const BlockIndex tree = image.addTree(1, {image.addData(first), image.addData(second)});
    ASSERT_GE(read(node, {{kSubnodeNid, tree, 0, 0}}), 0);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(*find(rows[4], 0x0C15)->data, (Bytes{5, 0, 0, 0}));
}

TEST_P(PropertyReaderTest, RowIdsReadAloneMatchTheTableRowsBlockByBlock) {
    TcLayout layout = recipientLayout();
    layout.columns[0].id = 0x67F2;  // the 4-byte cell holding r + 1 becomes the row id
    const std::size_t record = image.unicode() ? 8 : 6;
    std::vector<std::uint32_t> ids;

    HeapBuilder inHeap(kTc);
    addTableContext(inHeap, layout, image.unicode(), 2 * record,
                    inHeap.add(buildRows(layout, recipientCells(inHeap, 2))));
    const BlockIndex inHeapNode = image.addHeap(inHeap, false);
    image.install(base);
    ASSERT_GE(readTableRowIds(base, inHeapNode, {}, ids), 0);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2}));

    // A tree of two blocks; the index names 4 of the 5 rows.
    HeapBuilder heap(kTc);
    const auto cells = recipientCells(heap, 5);
    addTableContext(heap, layout, image.unicode(), 4 * record, kSubnodeNid);
    const BlockIndex node = image.addHeap(heap, false);
    Bytes first = buildRows(layout, {cells.begin(), cells.begin() + 3});
    first.resize(first.size() + 10, 0xEE);
    const BlockIndex tree = image.addTree(
        1,
        {image.addData(first), image.addData(buildRows(layout, {cells.begin() + 3, cells.end()}))});
    const std::vector<SubnodeEntry> subnodes{{kSubnodeNid, tree, 0, 0}};
    image.install(base);
    ASSERT_GE(readTableRowIds(base, node, subnodes, ids), 0);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    ASSERT_GE(read(node, subnodes), 0);
    ASSERT_EQ(rows.size(), ids.size());
    EXPECT_EQ(*find(rows[3], 0x67F2)->data, (Bytes{4, 0, 0, 0}));

    EXPECT_EQ(readTableRowIds(base, node, {}, ids), -1);  // the matrix subnode is missing
    EXPECT_TRUE(ids.empty());
}

TEST_P(PropertyReaderTest, MissingRowSubnodeFailsTheRead) {
    std::vector<SubnodeEntry> subnodes;
    const BlockIndex node = tableWithSubnodeRows(image, 2, 12, subnodes);
    EXPECT_EQ(read(node, {}), -1);
    EXPECT_TRUE(rows.empty());
}

TEST_P(PropertyReaderTest, EmptyTableHasNoRows) {
    HeapBuilder heap(kTc);
    addTableContext(heap, recipientLayout(), image.unicode(), 0, 0);
    ASSERT_GE(read(image.addHeap(heap, false)), 0);
    EXPECT_TRUE(rows.empty());
}

TEST_P(PropertyReaderTest, DamagedNodesNeverReadOutsideTheirData) {
    std::vector<SubnodeEntry> subnodes;
    const BlockIndex pc = buildMixedPc(image, true, true);
    const BlockIndex tc = tableWithSubnodeRows(image, 3, 24, subnodes);
    image.install(base);
    const std::size_t end = image.image().size();
    // Corrupt every byte in turn (and truncate every block) and read both nodes.
    for (std::size_t at = 512; at < end; ++at) {
        ImageBuilder damaged = image;
        damaged.image()[at] ^= 0x5A;
        damaged.install(base);
        readPropertyList(base, rows, pc, subnodes, true, ReadMode::Complete);
        readPropertyList(base, rows, tc, subnodes, true, ReadMode::Records);
    }
    for (BlockIndex b = 0; b < static_cast<BlockIndex>(base.blockTable.size()); ++b) {
        for (std::uint16_t len : {0, 1, 3, 11, 40}) {
            ImageBuilder damaged = image;
            damaged.entry(b).byteCount = std::min(damaged.entry(b).byteCount, len);
            damaged.install(base);
            readPropertyList(base, rows, pc, subnodes, true, ReadMode::Complete);
            readPropertyList(base, rows, tc, subnodes, true, ReadMode::Records);
        }
    }
    SUCCEED();
}

TEST_P(PropertyReaderTest, MalformedHeapsFail) {
    HeapBuilder heap(kPc);
    addPropertyContext(heap, {{0x0E07, ptype::kInt32, 1}});
    Bytes block = heap.blocks()[0];
    Bytes farMap = block;
    store16(farMap.data(), 0xFFF0);  // page map outside the block
    Bytes badSig = block;
    badSig[3] = 0x6C;
    const BlockIndex a = image.addData(farMap);
    const BlockIndex b = image.addData(badSig);
    const BlockIndex c = image.addData(Bytes(block.begin(), block.begin() + 5));
    EXPECT_EQ(read(a), -1);
    EXPECT_EQ(read(b), -1);
    EXPECT_EQ(read(c), -1);
    EXPECT_EQ(read(kNoBlock), -1);
    EXPECT_EQ(read(99999), -1);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PropertyReaderTest,
                         ::testing::Values(Layout{true, true}, Layout{true, false},
                                           Layout{false, true}, Layout{false, false}),
                         [](const auto& info) {
                             return std::string(info.param.unicode ? "Unicode" : "Ansi") +
                                    (info.param.permute ? "Permuted" : "Plain");
                         });

}  // namespace
}  // namespace brevik

namespace brevik {
namespace {

std::string textOf(const PropertyValue& v) {
    if (v.type == ptype::kUnicode) return utf16ToUtf8(v.data->data(), v.data->size());
    if (v.type == ptype::kString8) return codepageToUtf8(v.data->data(), v.data->size(), 0);
    return {};
}

std::string subjectOf(const PropertyRow& row) {
    for (const auto& v : row)
        if (v.present() && v.id == 0x0037 && v.data) return textOf(v);
    return {};
}

// Every folder and message node of the sample files reads, and known subjects come out right.
TEST(PropertyReaderCorpus, ReadsFoldersAndMessagesOfEverySample) {
    BREVIK_REQUIRE_CORPUS();
    std::set<std::string> subjects, recipients;
    std::size_t tried = 0, read = 0;
    for (const std::string& path : test::corpusPstFiles()) {
        RecoveredBase base;
        setMessageBasePath(base, path);
        ASSERT_TRUE(base.openFile()) << path;
        if (detectFormat(base) != 0) continue;
        base.cryptMethod = readCryptMethod(base);
        buildIndexTables(base);
        base.encodingState = encoding::kPermuteEarly;
        std::size_t liveTried = 0, liveRead = 0;
        for (const NodeEntry& node : base.nodeTable) {
            const std::uint32_t type = node.nodeId & 0x1F;
            if (type != 0x02 && type != 0x04) continue;
            const BlockIndex data = findBlock(base, node.dataBid);
            if (data == kNoBlock) continue;
            std::vector<SubnodeEntry> subnodes;
            if (node.subnodeBid != 0) {
                const BlockIndex sub = findBlock(base, node.subnodeBid);
                if (sub != kNoBlock) readSubnodeList(base, subnodes, sub, 0, 0);
            }
            PropertyList rows;
            ++tried;
            liveTried += node.reachable;
            if (readPropertyList(base, rows, data, subnodes, true) < 0) continue;
            ++read;
            liveRead += node.reachable;
            // Complete keeps at least what Records keeps.
            PropertyList all;
            ASSERT_GE(readPropertyList(base, all, data, subnodes, false, ReadMode::Complete), 0);
            ASSERT_EQ(all.size(), rows.size());
            for (std::size_t r = 0; r < rows.size(); ++r)
                EXPECT_GE(presentCount(all[r]), presentCount(rows[r]));
            if (type != 0x04 || rows.size() != 1) continue;
            subjects.insert(subjectOf(rows[0]));
            // Recipient names are table cells naming heap values.
            for (const SubnodeEntry& s : subnodes) {
                if (s.nodeId != ndb::kNidRecipientTable) continue;
                PropertyList table;
                if (readPropertyList(base, table, s.dataIndex, subnodes, true) < 0) continue;
                for (const auto& row : table)
                    for (const auto& v : row)
                        if (v.present() && v.id == 0x3001 && v.data) recipients.insert(textOf(v));
            }
        }
        // Stale index entries may name blocks that were reused since; live ones must all read.
        EXPECT_EQ(liveRead, liveTried) << path;
    }
    EXPECT_GE(read * 10, tried * 9);
    EXPECT_GT(tried, 400u);
    EXPECT_TRUE(recipients.count("Terry Mahaffey"));
    for (const char* known : {"Here is a sample message", "Multiple attachments",
                              "this message contains embedded MSG", "HTML body"}) {
        bool found = false;
        for (const auto& s : subjects)
            found = found || s.find(known) != std::string::npos;
        EXPECT_TRUE(found) << known;
    }
}

}  // namespace
}  // namespace brevik
