#include "message/load_message.h"

#include <gtest/gtest.h>

#include <string>

#include "message/item_summary.h"
#include "message/property_reader.h"
#include "support/node_builder.h"

namespace brevik {
namespace {

using test::HeapBuilder;
using test::ImageBuilder;
using test::TcLayout;

constexpr std::uint8_t kPc = 0xBC;
constexpr std::uint8_t kTc = 0x7C;
constexpr std::uint32_t kAttachA = 0x8025;
constexpr std::uint32_t kAttachB = 0x8045;
constexpr std::uint32_t kAttachMissing = 0x8065;

Bytes utf16(const std::string& ascii) {
    Bytes b;
    for (char c : ascii) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(0);
    }
    return b;
}

// A table whose columns are all 4-byte cells, in the order given.
TcLayout fourByteColumns(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& idTypes) {
    TcLayout t;
    std::uint16_t offset = 0;
    std::uint8_t bit = 0;
    for (const auto& [id, type] : idTypes) {
        t.columns.push_back({type, id, offset, 4, bit++});
        offset += 4;
    }
    t.end4 = t.end2 = t.end1 = offset;
    t.rowWidth = static_cast<std::uint16_t>(offset + (bit + 7) / 8);
    return t;
}

struct Layout {
    bool unicode;
    bool permute;
};

class LoadMessageTest : public ::testing::TestWithParam<Layout> {
  protected:
    ImageBuilder image{GetParam().unicode, GetParam().permute};
    RecoveredBase base;

    BlockIndex table(const TcLayout& layout, HeapBuilder& heap,
                     const std::vector<std::vector<std::uint64_t>>& cells) {
        const Bytes matrix = test::buildRows(layout, cells);
        const std::size_t record = GetParam().unicode ? 8 : 6;
        test::addTableContext(heap, layout, GetParam().unicode, cells.size() * record,
                              heap.add(matrix));
        return image.addHeap(heap, false);
    }

    // An item with three recipients (the middle row without an entry id), a recipient table of
    // an embedded message below another subnode, and three attachments of which the last has no
    // property context of its own.
    MessageNodeEntry buildItem() {
        HeapBuilder item(kPc);
        const std::uint32_t subject = item.add(utf16("Quarterly report"));
        const std::uint32_t cls = item.add(utf16("IPM.Note"));
        const std::uint32_t to = item.add(utf16("All staff"));
        test::addPropertyContext(item, {{0x001A, ptype::kUnicode, cls},
                                        {0x0037, ptype::kUnicode, subject},
                                        {0x0E04, ptype::kUnicode, to},
                                        {0x0E07, ptype::kInt32, 1}});
        const BlockIndex itemIndex = image.addHeap(item, false);

        HeapBuilder rcpt(kTc);
        const TcLayout rl = fourByteColumns({{0x0C15, ptype::kInt32},
                                             {0x3001, ptype::kUnicode},
                                             {0x3003, ptype::kUnicode},
                                             {0x3002, ptype::kUnicode},
                                             {0x0FFF, ptype::kBinary}});
        auto row = [&](std::uint32_t type, const std::string& name, bool withEntryId) {
            return std::vector<std::uint64_t>{
                type, rcpt.add(utf16(name)), rcpt.add(utf16(name + "@example.com")),
                rcpt.add(utf16("SMTP")), withEntryId ? rcpt.add(Bytes{0, 0, 0, 0, 1, 2}) : 0};
        };
        const BlockIndex rcptIndex =
            table(rl, rcpt, {row(1, "   Ann  ", true), row(2, "Bob", false), row(3, "Cy", true)});

        HeapBuilder nested(kTc);
        const BlockIndex nestedIndex =
            table(rl, nested, {{1, nested.add(utf16("Embedded")), 0, 0, nested.add(Bytes{9, 9})}});

        HeapBuilder atts(kTc);
        const TcLayout al = fourByteColumns(
            {{0x67F2, ptype::kInt32}, {0x0E20, ptype::kInt32}, {0x3705, ptype::kInt32}});
        const BlockIndex attIndex =
            table(al, atts, {{kAttachA, 1000, 1}, {kAttachB, 2000, 5}, {kAttachMissing, 3000, 1}});

        HeapBuilder a(kPc);
        const std::uint32_t longName = a.add(utf16("report.pdf"));
        const std::uint32_t data = a.add(Bytes{'%', 'P', 'D', 'F'});
        test::addPropertyContext(a, {{0x3701, ptype::kBinary, data},
                                     {0x3705, ptype::kInt32, 1},
                                     {0x3707, ptype::kUnicode, longName}});
        const BlockIndex aIndex = image.addHeap(a, false);

        HeapBuilder b(kPc);
        const std::uint32_t shown = b.add(utf16("Report"));
        const std::uint32_t file = b.add(utf16("Report"));
        const std::uint32_t noOne = b.add(utf16(""));  // a stray recipient text, empty
        test::addPropertyContext(b, {{0x0E04, ptype::kUnicode, noOne},
                                     {0x3001, ptype::kUnicode, shown},
                                     {0x3704, ptype::kUnicode, file},
                                     {0x3705, ptype::kInt32, 5}});
        const BlockIndex bIndex = image.addHeap(b, false);

        image.install(base);
        MessageNodeEntry e;
        e.dataIndex = itemIndex;
        e.reachable = 1;
        e.subnodes = {{ndb::kNidRecipientTable, nestedIndex, 0x8025, 7},
                      {ndb::kNidRecipientTable, rcptIndex, 0, 0},
                      {ndb::kNidAttachmentTable, attIndex, 0, 0},
                      {kAttachA, aIndex, 0, 0},
                      {kAttachB, bIndex, 0, 0}};
        return e;
    }
};

TEST_P(LoadMessageTest, ItemWithRecipientsAndAttachments) {
    base.messageEntries.push_back(buildItem());
    ASSERT_EQ(loadMessage(base, 0), 0);
    const MessageRecord& r = *base.messageEntries[0].record;
    EXPECT_EQ(r.kind, item_kind::kMessage);
    ASSERT_TRUE(r.envelope.subject);
    EXPECT_EQ(r.envelope.subject->text, "Quarterly report");
    EXPECT_EQ(r.envelope.messageFlags, 1u);

    // A row without an entry id but with a name of its own is a recipient of its own, not
    // overwritten by the row after it.
    ASSERT_EQ(r.recipients.size(), 3u);
    EXPECT_EQ(r.recipients[0].displayName, "Ann");
    EXPECT_EQ(r.recipients[0].emailAddress, "   Ann  @example.com");
    EXPECT_EQ(r.recipients[0].addressType, "SMTP");
    EXPECT_EQ(r.recipients[0].entryIdLength, 6u);
    EXPECT_EQ(r.recipients[0].recipientType, 1u);
    EXPECT_EQ(r.recipients[1].displayName, "Bob");
    EXPECT_EQ(r.recipients[1].recipientType, 2u);
    EXPECT_EQ(r.recipients[2].displayName, "Cy");
    EXPECT_EQ(r.recipients[2].recipientType, 3u);

    ASSERT_EQ(r.attachments.size(), 3u);
    const AttachmentRecord& a = r.attachments[0];
    EXPECT_EQ(a.longFileName, "report.pdf");
    EXPECT_EQ(a.size, 1000u);
    EXPECT_EQ(loadValue(base, a.dataLocator, 0, false), (Bytes{'%', 'P', 'D', 'F'}));
    const AttachmentRecord& b = r.attachments[1];
    EXPECT_EQ(b.method, kAttachEmbeddedMessage);
    EXPECT_EQ(b.displayName, "Report.msg");
    EXPECT_EQ(b.fileName, "Report.msg");
    EXPECT_FALSE(b.longFileName);
    // No property context of its own: what the table gave stays, and it still counts.
    const AttachmentRecord& c = r.attachments[2];
    EXPECT_EQ(c.rowId, kAttachMissing);
    EXPECT_EQ(c.size, 3000u);
    EXPECT_EQ(r.currentAttachment, 3u);

    base.messageEntries[0].attachmentCount = r.currentAttachment;
    base.itemSummaries.resize(1);
    buildItemSummary(base, base.rows(), 0);
    EXPECT_EQ(base.itemSummaries[0].attachmentNames,
              (std::vector<std::string>{"report.pdf", "Report.msg", "Attachment"}));
    EXPECT_EQ(base.itemSummaries[0].subjectText, "Quarterly report");
}

// A summary row shows the item's own recipients, whatever texts its attachments carry.
TEST_P(LoadMessageTest, SummaryRowsKeepTheItemsOwnTexts) {
    base.messageEntries.push_back(buildItem());
    ASSERT_EQ(loadMessage(base, 0, LoadScope::Summary), 0);
    base.messageEntries[0].attachmentCount = base.messageEntries[0].record->currentAttachment;
    base.itemSummaries.resize(1);
    buildItemSummary(base, base.rows(), 0);
    EXPECT_EQ(base.itemSummaries[0].toText, "All staff");
    EXPECT_EQ(base.itemSummaries[0].attachmentNames,
              (std::vector<std::string>{"report.pdf", "Report.msg", "Attachment"}));
}

TEST_P(LoadMessageTest, EmbeddedMessageWithoutItsOwnPropertiesGetsNoExtension) {
    MessageNodeEntry e = buildItem();
    e.subnodes.pop_back();  // attachment B's property context is gone
    base.messageEntries.push_back(std::move(e));
    ASSERT_EQ(loadMessage(base, 0), 0);
    const AttachmentRecord& b = base.messageEntries[0].record->attachments[1];
    EXPECT_EQ(b.method, kAttachEmbeddedMessage);
    EXPECT_FALSE(b.displayName);
    EXPECT_EQ(base.messageEntries[0].record->currentAttachment, 3u);
}

TEST_P(LoadMessageTest, UnreadableItemGivesNoRecord) {
    MessageNodeEntry e = buildItem();
    e.dataIndex = image.addData(Bytes(64, 0xEE));
    image.install(base);
    base.messageEntries.push_back(std::move(e));
    EXPECT_EQ(loadMessage(base, 0), -1);
    EXPECT_FALSE(base.messageEntries[0].record);
    EXPECT_EQ(loadMessage(base, 1), -1);
}

TEST_P(LoadMessageTest, NestedRecipientTableAloneIsNotUsed) {
    MessageNodeEntry e = buildItem();
    e.subnodes.erase(e.subnodes.begin() + 1);
    base.messageEntries.push_back(std::move(e));
    ASSERT_EQ(loadMessage(base, 0), 0);
    EXPECT_TRUE(base.messageEntries[0].record->recipients.empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, LoadMessageTest,
                         ::testing::Values(Layout{true, true}, Layout{false, false}),
                         [](const auto& info) {
                             return std::string(info.param.unicode ? "Unicode" : "Ansi") +
                                    (info.param.permute ? "Permuted" : "Plain");
                         });

TEST(TrimSpacesTest, OnlyBlanksAtEitherEnd) {
    EXPECT_EQ(trimSpaces("   Ann Lee  "), "Ann Lee");
    EXPECT_EQ(trimSpaces("\tAnn "), "\tAnn");
    EXPECT_EQ(trimSpaces("   "), "");
    EXPECT_EQ(trimSpaces(""), "");
}

}  // namespace
}  // namespace brevik
