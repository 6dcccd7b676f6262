#include "writers/pst/store_writer.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/crc.h"
#include "recovery/name_to_id_map.h"
#include "support/peer_check.h"
#include "writer_test_util.h"
#include "writers/pst/write_pst_file.h"

namespace brevik::pst {
namespace {

using test::findNode;
using test::openWritten;
using test::readNode;
using test::ScratchDir;
using ReadRows = ::brevik::PropertyList;  // rows as our reader returns them

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(i * 31 + seed + (i >> 8));
    return b;
}

Property fixed(std::uint16_t id, std::uint16_t type, std::size_t size, std::uint8_t seed) {
    return {id, type, pattern(size, seed)};
}

// A multi-valued UTF-16 string: count, offsets, then the values.
Bytes multiString(const std::vector<std::string>& values) {
    Bytes out(4 + 4 * values.size());
    store32(out.data(), static_cast<std::uint32_t>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k) {
        store32(out.data() + 4 + 4 * k, static_cast<std::uint32_t>(out.size()));
        const Bytes text = utf8ToUtf16le(values[k]);
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

// One property of every kind the writer lays out differently.
PropertyList everyKind() {
    return {
        fixed(0x6601, ptypes::kInt16, 2, 1),
        fixed(0x6602, ptypes::kInt32, 4, 2),
        fixed(0x6603, ptypes::kFloat, 4, 3),
        fixed(0x6604, ptypes::kDouble, 8, 4),
        fixed(0x6605, ptypes::kCurrency, 8, 5),
        fixed(0x6606, ptypes::kAppTime, 8, 6),
        fixed(0x6607, ptypes::kError, 4, 7),
        {0x6608, ptypes::kBoolean, Bytes{1}},
        fixed(0x6609, ptypes::kInt64, 8, 9),
        fixed(0x660A, ptypes::kTime, 8, 10),
        {0x660B, ptypes::kString8, Bytes{'p', 'l', 'a', 'i', 'n'}},
        unicodeProperty(0x0037, "Subject with åäö and €"),
        fixed(0x660C, ptypes::kGuid, 16, 12),
        binaryProperty(0x660D, pattern(3580, 13)),  // the largest heap value
        binaryProperty(0x660E, pattern(3581, 14)),  // the smallest subnode value
        unicodeProperty(0x1000, std::string(6000, 'x')),
        binaryProperty(0x660F, {}),                     // empty: HNID 0
        fixed(0x6610, 0x1003, 12, 16),                  // multi-valued int32
        {0x6611, 0x101F, multiString({"one", "two"})},  // multi-valued string
        unicodeProperty(0x001A, "IPM.Note"),
    };
}

struct Written {
    ScratchDir dir;
    std::string path;
    PstWriteStats stats;
};

template <typename Fill>
std::unique_ptr<Written> writeFile(bool permute, Fill fill) {
    auto w = std::make_unique<Written>();
    w->path = w->dir.file("out.pst");
    PstWriterOptions options;
    options.permute = permute;
    WriteStatus status;
    auto writer = PstWriter::create(w->path, options, status);
    EXPECT_TRUE(writer) << status.message;
    if (!writer) return w;
    fill(*writer);
    EXPECT_TRUE(writer->finish()) << writer->status().message;
    w->stats = writer->stats();
    return w;
}

class StoreWriterTest : public ::testing::TestWithParam<bool> {};

TEST_P(StoreWriterTest, EveryPropertyKindReadsBackUnchanged) {
    Item item;
    item.properties = everyKind();
    Attachment small, large, huge;
    small.properties = {unicodeProperty(0x3707, "a.txt")};
    small.data = pattern(100, 1);
    large.properties = {unicodeProperty(0x3707, "b.bin")};
    large.data = pattern(200000, 2);  // a one-level data tree
    huge.properties = {unicodeProperty(0x3707, "c.bin")};
    huge.data = pattern(9 << 20, 3);  // past 1021 blocks: a two-level data tree
    item.attachments = {small, large, huge};
    Recipient r;
    r.properties = {unicodeProperty(0x3001, "Bob"), unicodeProperty(0x3003, "bob@example.com"),
                    int32Property(0x0C15, 1), unicodeProperty(0x5FF6, "extra column")};
    item.recipients = {r, r};

    auto w = writeFile(GetParam(), [&](PstWriter& pw) {
        const auto inbox = pw.addFolder(kTopOfPersonalFolders, {"Inbox", "IPF.Note", {}, {}});
        ASSERT_TRUE(inbox);
        ASSERT_TRUE(pw.addItem(*inbox, item));
    });
    auto base = openWritten(w->path);
    ASSERT_TRUE(base);
    EXPECT_EQ(base->formatCode, 65532u);
    EXPECT_EQ(readCryptMethod(*base), GetParam() ? CryptMethod::Permute : CryptMethod::None);

    const NodeEntry* node = findNode(*base, (0x10000 << 5) | 4);
    ASSERT_TRUE(node);
    const ReadRows rows = readNode(*base, *node);
    ASSERT_EQ(rows.size(), 1u);
    for (const Property& p : item.properties) {
        const PropertyValue* v = test::findValue(rows[0], p.id);
        ASSERT_TRUE(v) << std::hex << p.id;
        EXPECT_EQ(v->type, p.type) << std::hex << p.id;
        ASSERT_TRUE(v->data) << std::hex << p.id;
        Bytes expected = p.value;
        if (p.type == ptypes::kBoolean) expected.resize(v->data->size(), 0);
        if (p.type == ptypes::kInt16) expected.resize(v->data->size(), 0);
        EXPECT_EQ(*v->data, expected) << std::hex << p.id;
    }

    // Attachments: one PC per table row, data byte for byte.
    const auto subnodes = test::subnodesOf(*base, *node);
    ReadRows table;
    readPropertyList(
        *base, table,
        [&] {
            for (const auto& s : subnodes)
                if (s.nodeId == 0x671) return s.dataIndex;
            return kNoBlock;
        }(),
        subnodes, true, ReadMode::Complete);
    ASSERT_EQ(table.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const auto* rowId = test::findValue(table[i], 0x67F2);
        ASSERT_TRUE(rowId && rowId->data);
        const std::uint32_t nid = load32(rowId->data->data());
        ReadRows pc;
        for (const auto& s : subnodes)
            if (s.nodeId == nid) {
                std::vector<SubnodeEntry> inner;
                for (const auto& t : subnodes)
                    if (t.ownerNodeId == nid) inner.push_back(t);
                readPropertyList(*base, pc, s.dataIndex, inner, true, ReadMode::Complete);
            }
        ASSERT_EQ(pc.size(), 1u);
        const auto* data = test::findValue(pc[0], 0x3701);
        ASSERT_TRUE(data && data->data);
        EXPECT_EQ(*data->data, item.attachments[i].data) << i;
    }

    // Recipients live only in their table; every property is a column.
    ReadRows recipients;
    for (const auto& s : subnodes)
        if (s.nodeId == 0x692) {
            std::vector<SubnodeEntry> inner;
            for (const auto& t : subnodes)
                if (t.ownerNodeId == 0x692) inner.push_back(t);
            readPropertyList(*base, recipients, s.dataIndex, inner, true, ReadMode::Complete);
        }
    ASSERT_EQ(recipients.size(), 2u);
    const auto* extra = test::findValue(recipients[1], 0x5FF6);
    ASSERT_TRUE(extra && extra->data);
    EXPECT_EQ(*extra->data, utf8ToUtf16le("extra column"));
}

TEST_P(StoreWriterTest, ManyPropertiesSpanSeveralHeapBlocksAndBthLevels) {
    Item item;
    for (std::uint16_t i = 0; i < 700; ++i)
        item.properties.push_back(binaryProperty(static_cast<std::uint16_t>(0x4000 + i),
                                                 pattern(100, static_cast<std::uint8_t>(i))));
    auto w = writeFile(GetParam(),
                       [&](PstWriter& pw) { ASSERT_TRUE(pw.addItem(kDeletedItemsFolder, item)); });
    auto base = openWritten(w->path);
    ASSERT_TRUE(base);
    const NodeEntry* node = findNode(*base, (0x10000 << 5) | 4);
    ASSERT_TRUE(node);
    // 70 KB of values cannot sit in one 8 KB block: the PC is a data tree of heap blocks.
    EXPECT_NE(node->dataBid & 0x2, 0u);
    const ReadRows rows = readNode(*base, *node);
    ASSERT_EQ(rows.size(), 1u);
    std::size_t found = 0;
    for (const Property& p : item.properties) {
        const PropertyValue* v = test::findValue(rows[0], p.id);
        if (v && v->data && *v->data == p.value) ++found;
    }
    EXPECT_EQ(found, item.properties.size());
}

TEST_P(StoreWriterTest, LargeContentsTableKeepsEveryRowInOrder) {
    constexpr std::uint32_t kItems = 3000;
    FolderId folder = 0;
    auto w = writeFile(GetParam(), [&](PstWriter& pw) {
        folder = *pw.addFolder(kTopOfPersonalFolders, {"Big", "IPF.Note", {}, {}});
        for (std::uint32_t i = 0; i < kItems; ++i) {
            Item item;
            item.properties = {unicodeProperty(0x001A, "IPM.Note"),
                               unicodeProperty(0x0037, "Item " + std::to_string(i)),
                               int32Property(0x0E07, i % 2)};
            ASSERT_TRUE(pw.addItem(folder, item));
        }
    });
    EXPECT_EQ(w->stats.items, kItems);
    auto base = openWritten(w->path);
    ASSERT_TRUE(base);
    const NodeEntry* contents = findNode(*base, (folder & ~0x1Fu) | 0x0E);
    ASSERT_TRUE(contents);
    const ReadRows rows = readNode(*base, *contents);
    ASSERT_EQ(rows.size(), kItems);
    for (std::uint32_t i = 0; i < kItems; i += 499) {
        const auto* id = test::findValue(rows[i], 0x67F2);
        const auto* subject = test::findValue(rows[i], 0x0037);
        ASSERT_TRUE(id && id->data && subject && subject->data);
        EXPECT_EQ(load32(id->data->data()), ((0x10000 + i) << 5) | 4);
        EXPECT_EQ(*subject->data, utf8ToUtf16le("Item " + std::to_string(i)));
    }
    // The folder's PC counts what the table holds; half the items are unread.
    const ReadRows pc = readNode(*base, *findNode(*base, folder));
    ASSERT_EQ(pc.size(), 1u);
    EXPECT_EQ(load32(test::findValue(pc[0], 0x3602)->data->data()), kItems);
    EXPECT_EQ(load32(test::findValue(pc[0], 0x3603)->data->data()), kItems / 2);
}

INSTANTIATE_TEST_SUITE_P(Encodings, StoreWriterTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Permute" : "Plain"; });

TEST(StoreWriter, NamedPropertiesKeepTheirNamesThroughTheWrittenMap) {
    const std::array<std::uint8_t, 16> publicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00,
                                                        0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                                        0x00, 0x00, 0x00, 0x46};
    const std::array<std::uint8_t, 16> custom = {1, 2,  3,  4,  5,  6,  7,  8,
                                                 9, 10, 11, 12, 13, 14, 15, 16};
    Item item;
    item.properties = {unicodeProperty(0x8000, "by name"), int32Property(0x8001, 42),
                       int32Property(0x8005, 7)};  // no table entry: dropped and counted
    auto w = writeFile(true, [&](PstWriter& pw) {
        pw.setNamedProperties({{publicStrings, true, 0, "Keywords"}, {custom, false, 0x1234, ""}});
        ASSERT_TRUE(pw.addItem(kDeletedItemsFolder, item));
    });
    EXPECT_EQ(w->stats.droppedProperties, 1u);
    auto base = openWritten(w->path);
    ASSERT_TRUE(base);
    const NodeEntry* mapNode = findNode(*base, 0x61);
    ASSERT_TRUE(mapNode);
    const ReadRows map = readNode(*base, *mapNode);
    ASSERT_EQ(map.size(), 1u);
    const auto entries = parseNamedProperties(*test::findValue(map[0], 0x0003)->data,
                                              *test::findValue(map[0], 0x0004)->data);
    const auto guids = parseGuidStream(*test::findValue(map[0], 0x0002)->data);

    const ReadRows rows = readNode(*base, *findNode(*base, (0x10000 << 5) | 4));
    ASSERT_EQ(rows.size(), 1u);
    int matched = 0;
    for (const auto& v : rows[0]) {
        if (v.id < 0x8000) continue;
        const NamedPropertyEntry* e = nullptr;
        for (const auto& candidate : entries)
            if (candidate.propertyId == v.id) e = &candidate;
        ASSERT_TRUE(e) << std::hex << v.id;
        if (v.type == ptypes::kUnicode) {
            EXPECT_EQ(e->name, "Keywords");
            EXPECT_EQ(e->guidWord >> 1, 2u);  // PS_PUBLIC_STRINGS
            ++matched;
        } else {
            EXPECT_EQ(e->numericId, 0x1234u);
            ASSERT_GE(e->guidWord >> 1, 3u);
            EXPECT_EQ(guids.at((e->guidWord >> 1) - 3), custom);
            ++matched;
        }
    }
    EXPECT_EQ(matched, 2);
}

// Damaged input carries types no reader knows, sizes that do not fit and names without
// characters: the writer leaves them out and counts them, so other readers take the whole file.
TEST(StoreWriter, ValuesOtherReadersCannotReadAreDroppedAndCounted) {
    const Bytes badOffsets = {1, 0, 0, 0, 0x40, 0, 0, 0, 'a', 0};  // the value lies past the end
    const PropertyList bad = {{0x6701, 0x9303, Bytes{1, 2, 3, 4}},
                              {0x6702, ptypes::kInt32, Bytes{1, 2, 3}},
                              {0x6703, ptypes::kGuid, Bytes(5, 1)},
                              {0x6704, ptypes::kUnicode, Bytes{'a', 0, 'b'}},
                              {0x6705, ptypes::kMultiUnicode, badOffsets},
                              {0x6706, ptypes::kObject, Bytes(8, 0)},
                              {0x6707, 0x0000, Bytes{}},
                              unicodeProperty(0x8001, "empty name")};
    Item item;
    item.properties = {unicodeProperty(0x0037, "kept"), unicodeProperty(0x001A, "IPM.Note"),
                       unicodeProperty(0x8000, "named")};
    item.properties.insert(item.properties.end(), bad.begin(), bad.end());
    item.recipients = {{{unicodeProperty(0x3001, "Bob"), {0x6708, 0x9303, Bytes{1}}}}};
    Attachment a;
    a.properties = {unicodeProperty(0x3707, "a.txt"), {0x6709, ptypes::kInt64, Bytes(7, 0)}};
    a.data = pattern(10, 1);
    item.attachments = {a};
    const std::array<std::uint8_t, 16> guid = {1, 2,  3,  4,  5,  6,  7,  8,
                                               9, 10, 11, 12, 13, 14, 15, 16};
    auto w = writeFile(true, [&](PstWriter& pw) {
        pw.setNamedProperties({{guid, true, 0, "Keywords"}, {guid, true, 0, ""}});
        Folder folder{"Inbox", "IPF.Note", {{0x670A, 0x0102 | 0x2000, Bytes{1}}}, {}};
        const auto inbox = pw.addFolder(kTopOfPersonalFolders, folder);
        ASSERT_TRUE(inbox);
        ASSERT_TRUE(pw.addItem(*inbox, item));
    });
    EXPECT_EQ(w->stats.droppedProperties, bad.size() + 3);
    auto base = openWritten(w->path);
    ASSERT_TRUE(base);
    const ReadRows rows = readNode(*base, *findNode(*base, (0x10000 << 5) | 4));
    ASSERT_EQ(rows.size(), 1u);
    std::set<std::uint32_t> ids;
    for (const auto& v : rows[0])
        ids.insert(v.id);
    EXPECT_TRUE(ids.count(0x0037));
    EXPECT_TRUE(ids.count(0x8001));  // "Keywords", after the map's own first entry
    for (std::uint32_t id = 0x6701; id <= 0x6707; ++id)
        EXPECT_FALSE(ids.count(id)) << std::hex << id;
    EXPECT_TRUE(test::peersReadWrittenFile(w->path, {}, 1));
}

TEST(StoreWriter, EightBitTextsOfAnsiItemsReachTheUnicodeContentsColumns) {
    Item item;
    item.properties = {{0x0037, ptypes::kString8, Bytes{'C', 'a', 'f', 0xE9}},
                       {0x001A, ptypes::kString8, Bytes{'I', 'P', 'M', '.', 'N', 'o', 't', 'e'}}};
    FolderId folder = 0;
    auto w = writeFile(true, [&](PstWriter& pw) {
        folder = *pw.addFolder(kTopOfPersonalFolders, {"Old", "IPF.Note", {}, {}});
        ASSERT_TRUE(pw.addItem(folder, item));
    });
    auto base = openWritten(w->path);
    ASSERT_TRUE(base);
    const ReadRows rows = readNode(*base, *findNode(*base, (folder & ~0x1Fu) | 0x0E));
    ASSERT_EQ(rows.size(), 1u);
    const auto* subject = test::findValue(rows[0], 0x0037);
    ASSERT_TRUE(subject && subject->data);
    EXPECT_EQ(subject->type, ptypes::kUnicode);
    EXPECT_EQ(*subject->data, utf8ToUtf16le("Caf\xC3\xA9"));  // Windows-1252 by default
    // The item keeps its own 8-bit value.
    const ReadRows pc = readNode(*base, *findNode(*base, (0x10000 << 5) | 4));
    EXPECT_EQ(test::findValue(pc[0], 0x0037)->type, ptypes::kString8);
}

TEST(StoreWriter, EmptyStoreHasTheNodesReadersNeed) {
    auto w = writeFile(true, [](PstWriter&) {});
    auto base = openWritten(w->path);
    ASSERT_TRUE(base);
    for (std::uint32_t nid : {0x21u, 0x61u, 0x122u, 0x12Du, 0x12Eu, 0x12Fu, 0x8022u, 0x802Du,
                              0x8042u, 0x8082u, 0x60Du, 0x60Eu, 0x671u, 0x692u})
        EXPECT_TRUE(findNode(*base, nid)) << std::hex << nid;
    // The store names the top of the folders, the wastebasket and the search root by entry id.
    const ReadRows store = readNode(*base, *findNode(*base, 0x21));
    ASSERT_EQ(store.size(), 1u);
    const auto* subtree = test::findValue(store[0], 0x35E0);
    ASSERT_TRUE(subtree && subtree->data && subtree->data->size() == 24);
    EXPECT_EQ(load32(subtree->data->data() + 20), kTopOfPersonalFolders);
    const auto* key = test::findValue(store[0], 0x0FF9);
    ASSERT_TRUE(key && key->data);
    EXPECT_TRUE(std::equal(key->data->begin(), key->data->end(), subtree->data->begin() + 4));
}

TEST(StoreWriter, UnknownFolderAndUseAfterFinishAreRefused) {
    ScratchDir dir;
    WriteStatus status;
    auto writer = PstWriter::create(dir.file("x.pst"), {}, status);
    ASSERT_TRUE(writer);
    EXPECT_FALSE(writer->addItem(0x12345, Item{}));
    EXPECT_EQ(writer->status().error, WriteError::BadInput);
    EXPECT_FALSE(writer->finish());
}

}  // namespace
}  // namespace brevik::pst
