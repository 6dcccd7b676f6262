#include "message/interpret_properties.h"

#include <gtest/gtest.h>

#include <string>

#include "message/item_summary.h"
#include "recovery/recovered_base.h"

namespace brevik {
namespace {

PropertyValue value(std::uint32_t id, std::uint16_t type, Bytes data) {
    PropertyValue v;
    v.id = id;
    v.type = type;
    v.locator = {1000, static_cast<std::uint32_t>(data.size()), type};
    v.data = std::move(data);
    return v;
}

PropertyValue ansi(std::uint32_t id, const std::string& bytes) {
    return value(id, ptype::kString8, Bytes(bytes.begin(), bytes.end()));
}

PropertyValue wide(std::uint32_t id, const std::u16string& text) {
    Bytes b;
    for (char16_t c : text) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return value(id, ptype::kUnicode, std::move(b));
}

PropertyValue int32(std::uint32_t id, std::uint32_t x) {
    Bytes b(4);
    store32(b.data(), x);
    PropertyValue v = value(id, ptype::kInt32, std::move(b));
    v.locator = {x, 0, ptype::kInt32};
    return v;
}

PropertyValue filetime(std::uint32_t id, std::uint64_t t) {
    Bytes b(8);
    store64(b.data(), t);
    return value(id, ptype::kTime, std::move(b));
}

// A value left in a subnode, to be read later through its locator.
PropertyValue inSubnode(std::uint32_t id, std::uint16_t type) {
    PropertyValue v;
    v.id = id;
    v.type = type;
    v.locator = {3, 0, type};
    return v;
}

MessageRecord interpret(const PropertyList& rows) {
    auto record = makeItemRecord();
    interpretProperties(nullptr, rows, *record);
    return *record;
}

TEST(InterpretPropertiesTest, AnsiSubjectMarker) {
    auto subject = [](const std::string& bytes) {
        return *interpret({{ansi(0x0037, bytes)}}).envelope.subject;
    };
    const SubjectRecord marked = subject(std::string("\x01\x04RE: Hello", 11));
    EXPECT_EQ(marked.marker, 1u);
    EXPECT_EQ(marked.prefixLength, 4u);
    EXPECT_EQ(marked.text, "RE: Hello");

    const SubjectRecord plain = subject("Hello");
    EXPECT_EQ(plain.marker, 0u);
    EXPECT_EQ(plain.text, "Hello");

    // A first byte of 100 or more is text, even where it is not printable ASCII.
    const SubjectRecord high = subject("\xC4pfel");
    EXPECT_EQ(high.marker, 0u);
    EXPECT_EQ(high.text, "\xC3\x84pfel");

    const SubjectRecord single = subject("\x02");
    EXPECT_EQ(single.marker, 0u);
    EXPECT_EQ(single.prefixLength, 0u);
}

TEST(InterpretPropertiesTest, UnicodeSubjectMarker) {
    auto subject = [](const std::u16string& text) {
        return *interpret({{wide(0x0037, text)}}).envelope.subject;
    };
    const SubjectRecord marked = subject(u"\x01\x04RE: \u00C4rger");
    EXPECT_EQ(marked.marker, 1u);
    EXPECT_EQ(marked.prefixLength, 4u);
    EXPECT_EQ(marked.text, "RE: \xC3\x84rger");
    // A letter outside ASCII starts the text; it is not a marker.
    const SubjectRecord letter = subject(u"\u00C4rger");
    EXPECT_EQ(letter.marker, 0u);
    EXPECT_EQ(letter.text, "\xC3\x84rger");
    EXPECT_EQ(subject(u"\u00E9").text, "\xC3\xA9");
}

TEST(InterpretPropertiesTest, KindsFromClasses) {
    EXPECT_EQ(interpret({{ansi(0x001A, "IPM.Contact")}}).kind, item_kind::kContact);
    EXPECT_EQ(interpret({{ansi(0x001A, "IPM.Note.Whatever")}}).kind, item_kind::kMessage);
    EXPECT_EQ(interpret({{ansi(0x3001, "no class")}}).kind, item_kind::kNone);

    auto folder = makeFolderRecord();
    interpretProperties(nullptr, {{wide(0x3001, u"Inbox")}}, *folder);
    EXPECT_EQ(folder->kind, item_kind::kNone);
    EXPECT_EQ(folder->displayName, "Inbox");
    interpretProperties(nullptr, {{wide(0x3613, u"IPF.StickyNote")}}, *folder);
    EXPECT_EQ(folder->kind, item_kind::kNote);
    EXPECT_EQ(folder->messageClass, "IPF.StickyNote");
}

TEST(InterpretPropertiesTest, UnknownStringsGoToStringsByIdOfItemsOnly) {
    const PropertyList rows = {{wide(0x8005, u"caf\u00E9"), ansi(0x8006, "na\xEFve"),
                                int32(0x8007, 5), wide(0x0E1D, u"normalized")}};
    const MessageRecord item = interpret(rows);
    ASSERT_TRUE(item.stringById(0x8005));
    EXPECT_EQ(*item.stringById(0x8005), "caf\xC3\xA9");
    EXPECT_EQ(*item.stringById(0x8006), "na\xC3\xAFve");
    EXPECT_FALSE(item.stringById(0x8007));
    EXPECT_FALSE(item.stringById(0x0E1D));  // ignored by name

    auto folder = makeFolderRecord();
    interpretProperties(nullptr, rows, *folder);
    EXPECT_TRUE(folder->stringsById.empty());
}

TEST(InterpretPropertiesTest, EightBitTextUsesTheItemsCodePage) {
    const std::string privet = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in Windows-1251
    const std::string utf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";

    // The message code page decides, even when the internet code page is listed first.
    const MessageRecord cyrillic =
        interpret({{int32(0x3FDE, 20127), ansi(0x0E04, privet), int32(0x3FFD, 1251)}});
    EXPECT_EQ(cyrillic.envelope.displayTo, utf8);
    EXPECT_EQ(cyrillic.codepage, 1251u);

    // Only US-ASCII named: read as Windows-1252 so that no byte is lost.
    EXPECT_EQ(interpret({{int32(0x3FDE, 20127), ansi(0x0E04, "Andr\xE9")}}).envelope.displayTo,
              "Andr\xC3\xA9");
    EXPECT_EQ(interpret({{ansi(0x0042, "Andr\xE9")}}).envelope.sentRepresentingName,
              "Andr\xC3\xA9");

    // The binary HTML body is in the internet code page.
    const MessageRecord html =
        interpret({{int32(0x3FFD, 1252), int32(0x3FDE, 1251),
                    value(0x1013, ptype::kBinary, Bytes(privet.begin(), privet.end()))}});
    EXPECT_EQ(html.envelope.html, utf8);
    EXPECT_EQ(html.htmlCodepage, 1251u);
}

TEST(InterpretPropertiesTest, StringSlotsKeepBinaryBytesAndConvertUnicode) {
    const Bytes entryId = {0, 0, 0, 0, 0xDC, 0xA7, 0x40, 0};
    const MessageRecord r =
        interpret({{value(0x0C19, ptype::kBinary, entryId), wide(0x0C1A, u"\U0001F600 Ann")}});
    EXPECT_EQ(r.envelope.senderEntryId, std::string(entryId.begin(), entryId.end()));
    EXPECT_EQ(r.envelope.senderEntryIdLength, 8u);
    EXPECT_EQ(r.envelope.senderName, "\xF0\x9F\x98\x80 Ann");
}

TEST(InterpretPropertiesTest, BodiesKeepTheirLocatorUnlessEmpty) {
    const MessageRecord empty = interpret({{ansi(0x1000, "")}});
    EXPECT_FALSE(empty.envelope.body);
    EXPECT_EQ(empty.envelope.bodyLocator.position, 0);

    const MessageRecord body = interpret({{wide(0x1000, u"Hi there")}});
    EXPECT_EQ(body.envelope.body, "Hi there");
    EXPECT_EQ(body.envelope.bodyLocator.position, 1000);
    EXPECT_EQ(body.envelope.bodyLocator.type, ptype::kUnicode);

    // Without a base a value left in a subnode cannot be read, but its locator is kept.
    const MessageRecord later = interpret({{inSubnode(0x1000, ptype::kUnicode)}});
    EXPECT_FALSE(later.envelope.body);
    EXPECT_EQ(later.envelope.bodyLocator.position, 3);
}

TEST(InterpretPropertiesTest, NumbersAndTimes) {
    const MessageRecord r =
        interpret({{int32(0x0017, 2), filetime(0x0E06, 111), filetime(0x0039, 222),
                    int32(0x0E08, 4096), filetime(0x3007, 333), int32(0x360A, 7), int32(0x3602, 12),
                    inSubnode(0x0E07, ptype::kInt32)}});
    EXPECT_EQ(r.envelope.importance, 2u);
    EXPECT_EQ(r.envelope.deliveryTime, 111u);
    EXPECT_EQ(r.envelope.clientSubmitTime, 222u);
    EXPECT_EQ(r.messageSize, 4096u);
    EXPECT_EQ(r.creationTime, 333u);
    EXPECT_EQ(r.folderCounts.hasSubfolders, 1);
    EXPECT_EQ(r.folderCounts.contentCount, 12u);
    EXPECT_EQ(r.envelope.messageFlags, 0u);  // no data: skipped
}

TEST(InterpretPropertiesTest, ContactProperties) {
    const MessageRecord r =
        interpret({{wide(0x3A06, u"Sebastian"), int32(0x3A4D, 2),
                    filetime(0x3A42, 0x01C0000000000000ull), wide(0x3A11, u"Wright")}});
    ASSERT_TRUE(r.contact);
    EXPECT_EQ(r.contact->slots[6], "Sebastian");
    EXPECT_EQ(r.contact->slot(0x3A11), "Wright");
    EXPECT_FALSE(r.contact->slot(0x3A4D));
    EXPECT_EQ(r.contact->birthday, 0x01C0000000000000ull);
    EXPECT_FALSE(r.stringById(0x3A06));  // contact properties go nowhere else
}

TEST(InterpretPropertiesTest, AttachmentPropertiesNeedAnAttachment) {
    const MessageRecord r =
        interpret({{ansi(0x3704, "a.txt"), int32(0x0E20, 10), ansi(0x3001, "Item name")}});
    EXPECT_TRUE(r.attachments.empty());
    EXPECT_EQ(r.currentAttachment, 0u);
    EXPECT_EQ(r.displayName, "Item name");
}

TEST(InterpretPropertiesTest, AttachmentTableRowsFillOneAttachmentEach) {
    auto record = makeItemRecord();
    record->attachments.resize(3);
    const PropertyList rows = {
        {int32(0x67F2, 0x8025), ansi(0x3704, "a.txt"), int32(0x0E20, 10)},
        {ansi(0x3001, "shown")},  // no attachment property: the next row fills the same one
        {int32(0x67F2, 0x8045), ansi(0x3707, "long name.doc"), int32(0x3705, 5)},
    };
    interpretProperties(nullptr, rows, *record);
    EXPECT_EQ(record->currentAttachment, 2u);
    EXPECT_EQ(record->attachments[0].rowId, 0x8025u);
    EXPECT_EQ(record->attachments[0].fileName, "a.txt");
    EXPECT_EQ(record->attachments[0].size, 10u);
    EXPECT_EQ(record->attachments[1].rowId, 0x8045u);
    EXPECT_EQ(record->attachments[1].displayName, "shown");
    EXPECT_EQ(record->attachments[1].longFileName, "long name.doc");
    EXPECT_EQ(record->attachments[1].method, 5u);
    EXPECT_FALSE(record->displayName);

    // One attachment's own properties, targeted by the caller; its times are not the item's.
    record->creationTime = 1;
    record->currentAttachment = 1;
    interpretProperties(nullptr,
                        {{ansi(0x370E, "text/plain"), filetime(0x3007, 99), filetime(0x3008, 98)}},
                        *record);
    EXPECT_EQ(record->attachments[1].mimeTag, "text/plain");
    EXPECT_EQ(record->currentAttachment, 2u);
    EXPECT_EQ(record->creationTime, 1u);
    EXPECT_FALSE(record->lastModificationTime);
}

// Values cut short by damage are read as far as they go, never past their end.
TEST(InterpretPropertiesTest, ShortValues) {
    const MessageRecord r = interpret(
        {{value(0x0E06, ptype::kTime, Bytes{1, 2, 3}), value(0x0E07, ptype::kInt32, Bytes{5}),
          value(0x0037, ptype::kUnicode, Bytes{'A', 0, 'B'}),
          value(0x3FFD, ptype::kInt32, Bytes{0xE3}), value(0x0C1A, ptype::kString8, Bytes{})}});
    EXPECT_EQ(r.envelope.deliveryTime, 0x030201u);
    EXPECT_EQ(r.envelope.messageFlags, 5u);
    EXPECT_EQ(r.envelope.subject->text, "A");
    EXPECT_EQ(r.codepage, 0u);
    EXPECT_EQ(r.envelope.senderName, "");
}

// What a summary row shows of `rows` interpreted in `scope`, and the attachments counted.
auto summaryOf(const PropertyList& rows, LoadScope scope, bool asAttachment = false) {
    RecoveredBase base;
    base.messageEntries.resize(1);
    base.itemSummaries.resize(1);
    auto record = makeItemRecord();
    if (asAttachment) record->attachments.resize(1);
    interpretProperties(nullptr, rows, *record, scope);
    base.messageEntries[0].attachmentCount = record->currentAttachment;
    base.messageEntries[0].record = record;
    buildItemSummary(base, base.rows(), 0);
    const ItemSummary& s = base.itemSummaries[0];
    return std::tuple(record->currentAttachment, s.subjectText, s.fromText, s.toText, s.utcTime,
                      s.kind, s.hiddenCode, s.bodyFormat, s.bodyLength, s.attachmentNames);
}

// A summary load reads only the properties `summaryProperty` names: any other one, whatever its
// type, must leave the summary row and the attachment count as they are, as an item's own
// property and as an attachment's.
TEST(InterpretPropertiesTest, SummaryLoadsNeedNoOtherProperties) {
    const PropertyRow item = {ansi(0x001A, "IPM.Note"), ansi(0x0037, "Subject")};
    for (const bool asAttachment : {false, true}) {
        const auto expected = summaryOf({item}, LoadScope::Summary, asAttachment);
        for (std::uint32_t id = 0; id <= 0xFFFF; ++id) {
            if (summaryProperty(static_cast<std::uint16_t>(id))) continue;
            for (const PropertyValue& v :
                 {wide(id, u"text"), int32(id, 1), filetime(id, 133485408000000000ull)}) {
                PropertyRow row = item;
                row.push_back(v);
                ASSERT_EQ(summaryOf({row}, LoadScope::Summary, asAttachment), expected)
                    << std::hex << "property 0x" << id << " type 0x" << v.type;
            }
        }
    }
}

// A summary load converts a sender or recipient text only when those before it show nothing
// (a text that starts with a zero shows nothing), and the topic only for an empty subject:
// the row is the one a full load gives.
TEST(InterpretPropertiesTest, SummaryLoadsShowTheFirstTextThatHasAny) {
    const PropertyRow base = {ansi(0x001A, "IPM.Note")};
    const std::vector<PropertyRow> extras = {
        {wide(0x0042, u"Name"), ansi(0x0065, "name@x"), ansi(0x0C1F, "sender@x")},
        {ansi(0x0042, ""), wide(0x0C1F, u"sender@x")},
        {value(0x0051, ptype::kBinary, Bytes{0, 'K'}), ansi(0x0076, "by@x")},
        {ansi(0x0E04, ""), ansi(0x0051, "SMTP:KEY"), ansi(0x0078, "rep@x")},
        {ansi(0x0076, "by@x"), wide(0x0E04, u"To list")},
        {wide(0x0037, u""), ansi(0x0070, "Topic")},
        {ansi(0x0037, "Subject"), ansi(0x0070, "Topic")},
        {ansi(0x0070, "Topic only")},
    };
    for (const PropertyRow& extra : extras) {
        PropertyRow row = base;
        row.insert(row.end(), extra.begin(), extra.end());
        EXPECT_EQ(summaryOf({row}, LoadScope::Summary), summaryOf({row}, LoadScope::Full));
    }
    const auto [count, subject, from, to, time, kind, hidden, format, length, names] =
        summaryOf({{wide(0x0042, u""), wide(0x0C1F, u"sender@x"), ansi(0x0070, "Topic"),
                    value(0x0051, ptype::kBinary, Bytes{0, 'K'}), ansi(0x0076, "by@x")}},
                  LoadScope::Summary);
    EXPECT_EQ(from, "sender@x");
    EXPECT_EQ(to, "by@x");
    EXPECT_EQ(subject, "Topic");
}

}  // namespace
}  // namespace brevik
