#include "message/item_summary.h"

#include <gtest/gtest.h>

#include "message/records.h"
#include "recovery/recovered_base.h"

namespace brevik {
namespace {

// 2024-01-01 00:00 UTC and one day later, as FILETIMEs.
constexpr std::uint64_t kJan1 = 133485408000000000ull;
constexpr std::uint64_t kDay = 864000000000ull;

class ItemSummaryTest : public ::testing::Test {
  protected:
    RecoveredBase base;

    // Adds an item whose record is returned for filling.
    MessageRecord& add(ItemKind kind) {
        MessageNodeEntry e;
        e.reachable = 1;
        e.record = makeItemRecord();
        e.record->kind = kind;
        base.messageEntries.push_back(std::move(e));
        base.itemSummaries.emplace_back();
        return *base.messageEntries.back().record;
    }
    const ItemSummary& build(std::uint32_t i) {
        buildItemSummary(base, base.rows(), i);
        return base.itemSummaries[i];
    }
};

TEST_F(ItemSummaryTest, MailTexts) {
    MessageRecord& r = add(item_kind::kMessage);
    r.envelope.subject = SubjectRecord{1, 4, "RE: Plans"};
    r.envelope.sentRepresentingEmailAddress = "ann@example.com";
    r.envelope.senderEmailAddress = "other@example.com";
    r.envelope.receivedBySearchKey = std::string("SMTP:BOB@EXAMPLE.COM\0", 21);
    const ItemSummary& s = build(0);
    EXPECT_EQ(s.subjectText, "RE: Plans");
    EXPECT_EQ(s.fromText, "ann@example.com");
    EXPECT_EQ(s.toText, "SMTP:BOB@EXAMPLE.COM");
    EXPECT_EQ(s.deletedMark, 0);

    MessageRecord& topicOnly = add(item_kind::kMessage);
    topicOnly.envelope.conversationTopic = "Topic";
    topicOnly.envelope.displayTo = "Bob";
    base.messageEntries[1].reachable = 0;
    const ItemSummary& t = build(1);
    EXPECT_EQ(t.subjectText, "Topic");
    EXPECT_EQ(t.toText, "Bob");
    EXPECT_EQ(t.deletedMark, 1);
}

TEST_F(ItemSummaryTest, ContactsShowTheirDisplayName) {
    MessageRecord& r = add(item_kind::kContact);
    r.displayName = "Bertha A. Buell";
    r.envelope.subject = SubjectRecord{0, 0, "ignored"};
    r.envelope.displayTo = "ignored";
    const ItemSummary& s = build(0);
    EXPECT_EQ(s.subjectText, "Bertha A. Buell");
    EXPECT_EQ(s.fromText, "Bertha A. Buell");
    EXPECT_EQ(s.toText, "");
    EXPECT_EQ(s.kind, 102);
}

TEST_F(ItemSummaryTest, ShownTime) {
    MessageRecord& later = add(item_kind::kMessage);
    later.envelope.deliveryTime = kJan1;
    later.envelope.clientSubmitTime = kJan1 + kDay;
    later.creationTime = kJan1 + 5 * kDay;
    const ItemSummary& s = build(0);
    EXPECT_EQ(s.utcTime, kJan1 + kDay);
    EXPECT_EQ(s.dateText, "01/02/24 00:00");  // TZ=UTC, C locale
    EXPECT_EQ(s.sortTime, kJan1 + kDay);

    add(item_kind::kMessage).lastModificationTime = kJan1 + 90 * 600000000ull;
    EXPECT_EQ(build(1).dateText, "01/01/24 01:30");

    add(item_kind::kMessage);
    const ItemSummary& none = build(2);
    EXPECT_EQ(none.dateText, "");
    EXPECT_EQ(none.sortTime, 0u);
    EXPECT_EQ(none.utcTime, 0u);
}

TEST_F(ItemSummaryTest, NumbersSkipHiddenSystemItems) {
    add(item_kind::kReport);
    add(item_kind::kSystem).envelope.body = "rule text";
    add(item_kind::kReport);
    add(item_kind::kSystem);
    EXPECT_EQ(build(0).number, 1u);
    EXPECT_EQ(build(1).number, 1u);
    EXPECT_EQ(build(1).hiddenCode, 0);
    EXPECT_EQ(build(2).number, 2u);
    EXPECT_EQ(build(3).hiddenCode, 201);
    EXPECT_EQ(base.summaryCounter, 2u);
}

TEST_F(ItemSummaryTest, AttachmentNamesAndBody) {
    MessageRecord& r = add(item_kind::kMessage);
    r.attachments.resize(4);
    r.attachments[0].longFileName = "Long name.docx";
    r.attachments[0].fileName = "LONGNA~1.DOC";
    r.attachments[1].fileName = "short.txt";
    r.attachments[2].displayName = "Shown";
    base.messageEntries[0].attachmentCount = 4;
    r.envelope.body = "plain";
    r.envelope.bodyLocator = {77, 5, ptype::kString8};
    r.codepage = 1251;
    const ItemSummary& s = build(0);
    EXPECT_EQ(s.attachmentCount, 4);
    EXPECT_EQ(s.attachmentNames,
              (std::vector<std::string>{"Long name.docx", "short.txt", "Shown", "Attachment"}));
    EXPECT_EQ(s.bodyFormat, 3);
    EXPECT_EQ(s.bodyText, "plain");
    EXPECT_EQ(s.bodyLength, 6u);
    EXPECT_EQ(s.bodyRef.position, 77);
    EXPECT_EQ(s.bodyCodepage, 1251u);

    r.envelope.html = "<p>x</p>";
    r.envelope.htmlLocator = {99, 8, ptype::kBinary};
    const ItemSummary& h = build(0);
    EXPECT_EQ(h.bodyFormat, 1);
    EXPECT_EQ(h.bodyRef.position, 99);
    EXPECT_EQ(h.bodyCodepage, 1252u);
}

TEST_F(ItemSummaryTest, BinaryFallbackTextsStayValidUtf8) {
    add(item_kind::kMessage).envelope.receivedBySearchKey = std::string("EX:\xFF\xC3", 5);
    EXPECT_EQ(build(0).toText, "EX:\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(FormatItemTimeTest, FormatsInLocalTime) {
    const FormattedTime t = formatItemTime(kJan1 + 13 * 36000000000ull + 5 * 600000000ull);
    EXPECT_EQ(t.text, "01/01/24 13:05");
    // The same day again, then another: the day's text is kept between calls of one day only.
    EXPECT_EQ(formatItemTime(kJan1 + 23 * 36000000000ull + 59 * 600000000ull).text,
              "01/01/24 23:59");
    EXPECT_EQ(formatItemTime(0).text, "01/01/01 00:00");
    EXPECT_EQ(formatItemTime(kJan1 + kDay + 9 * 36000000000ull).text, "01/02/24 09:00");
}

}  // namespace
}  // namespace brevik

namespace brevik {
namespace {

TEST(ItemSummaryAssociated, FolderAssociatedItemsAreHiddenAndUnnumbered) {
    RecoveredBase base;
    auto add = [&](std::uint32_t nodeId, bool body) {
        MessageNodeEntry e;
        e.nodeId = nodeId;
        e.reachable = 1;
        e.record = makeItemRecord();
        e.record->kind = item_kind::kMessage;
        if (body) e.record->envelope.body = "text";
        base.messageEntries.push_back(std::move(e));
        base.itemSummaries.emplace_back();
        buildItemSummary(base, base.rows(),
                         static_cast<std::uint32_t>(base.messageEntries.size() - 1));
        return base.itemSummaries.back();
    };
    EXPECT_EQ(add(0x200004, false).number, 1u);         // an ordinary message, even without a body
    const ItemSummary settings = add(0x200028, false);  // associated, nothing to read
    EXPECT_EQ(settings.hiddenCode, 201);
    EXPECT_EQ(settings.number, 1u);
    const ItemSummary withBody = add(0x200048, true);  // associated, even with a body
    EXPECT_EQ(withBody.hiddenCode, 201);
    EXPECT_TRUE(withBody.associated);
    EXPECT_EQ(withBody.number, 1u);
    EXPECT_EQ(add(0x200064, true).number, 2u);
}

}  // namespace
}  // namespace brevik

namespace brevik {
namespace {

TEST(ItemSummaryBodies, LargeBodiesAreNotCopiedButKeepTheirLengthAndLocator) {
    RecoveredBase base;
    auto add = [&](std::size_t bodyBytes) -> const ItemSummary& {
        MessageNodeEntry e;
        e.reachable = 1;
        e.record = makeItemRecord();
        e.record->kind = item_kind::kMessage;
        e.record->envelope.body = std::string(bodyBytes, 'x');
        e.record->envelope.bodyLocator = {4096, static_cast<std::uint32_t>(bodyBytes * 2), 0x001F};
        base.messageEntries.push_back(std::move(e));
        base.itemSummaries.emplace_back();
        buildItemSummary(base, base.rows(),
                         static_cast<std::uint32_t>(base.messageEntries.size() - 1));
        return base.itemSummaries.back();
    };
    const ItemSummary& small = add(100);
    EXPECT_EQ(small.bodyText.size(), 100u);
    EXPECT_EQ(small.bodyLength, 101u);
    const ItemSummary& large = add(kMaxKeptBodyBytes + 1);
    EXPECT_TRUE(large.bodyText.empty());
    EXPECT_EQ(large.bodyFormat, 3);
    EXPECT_EQ(large.bodyLength, kMaxKeptBodyBytes + 2);
    EXPECT_EQ(large.bodyRef.position, 4096);
    EXPECT_EQ(base.keptBodyBytes, 100u);

    // A base that keeps no copies still knows each body's format, length and place.
    base.keepBodyCopies = false;
    const ItemSummary& unkept = add(100);
    EXPECT_TRUE(unkept.bodyText.empty());
    EXPECT_EQ(unkept.bodyFormat, 3);
    EXPECT_EQ(unkept.bodyLength, 101u);
    EXPECT_EQ(unkept.bodyRef.position, 4096);
    EXPECT_EQ(base.keptBodyBytes, 100u);
}

}  // namespace
}  // namespace brevik
