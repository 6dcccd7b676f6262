// Items of the sample files, loaded one by one and compared with what independent readers
// report for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/byte_source.h"
#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "engine/read_window.h"
#include "message/interpret_properties.h"
#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/property_reader.h"
#include "message/records.h"
#include "recovery/recovered_base.h"
#include "support/corpus.h"

namespace brevik {
namespace {

// Index tables and one entry per item node with a data block, without the recovery pass.
bool openItems(RecoveredBase& base, const std::string& file) {
    setMessageBasePath(base, test::corpusPath("pst/" + file));
    if (!base.openFile() || detectFormat(base) != 0) return false;
    base.cryptMethod = readCryptMethod(base);
    buildIndexTables(base);
    base.encodingState =
        base.cryptMethod == CryptMethod::Permute ? encoding::kPermuteEarly : encoding::kPlainEarly;
    for (const NodeEntry& n : base.nodeTable) {
        if (n.nodeId < ndb::kFirstMessageNodeId) continue;
        MessageNodeEntry e;
        e.nodeId = n.nodeId;
        e.dataIndex = findBlock(base, n.dataBid);
        if (e.dataIndex == kNoBlock) continue;
        e.subnodeIndex = n.subnodeBid ? findBlock(base, n.subnodeBid) : kNoBlock;
        e.parentNodeId = n.parentNodeId;
        e.reachable = n.reachable;
        if (e.subnodeIndex != kNoBlock) readSubnodeList(base, e.subnodes, e.subnodeIndex, 0, 0);
        std::stable_sort(e.subnodes.begin(), e.subnodes.end(), [](const auto& a, const auto& b) {
            return static_cast<std::uint32_t>(a.ownerDataIndex) <
                   static_cast<std::uint32_t>(b.ownerDataIndex);
        });
        base.messageEntries.push_back(std::move(e));
    }
    base.itemCapacity = static_cast<std::uint32_t>(base.messageEntries.size());
    base.itemCount = base.itemCapacity;
    base.itemSummaries.assign(base.messageEntries.size(), ItemSummary{});
    return true;
}

// Loads every item and builds its summary, keeping the records.
struct LoadedFile {
    RecoveredBase base;
    std::vector<std::uint32_t> loaded;  // indexes whose load succeeded

    explicit LoadedFile(const std::string& file) {
        if (!openItems(base, file)) return;
        for (std::uint32_t i = 0; i < base.messageEntries.size(); ++i) {
            if (loadMessage(base, i) != 0) continue;
            MessageNodeEntry& e = base.messageEntries[i];
            e.attachmentCount = e.record->currentAttachment;
            buildItemSummary(base, base.rows(), i);
            loaded.push_back(i);
        }
    }
};

std::uint64_t fnv1a(std::string_view s) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s)
        h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// The first reachable item with that subject; -1 when none.
int findItem(const LoadedFile& f, const std::string& subject) {
    for (std::uint32_t i : f.loaded)
        if (f.base.messageEntries[i].reachable && f.base.itemSummaries[i].subjectText == subject)
            return static_cast<int>(i);
    return -1;
}

std::size_t dataSize(LoadedFile& f, const AttachmentRecord& a) {
    return loadValue(f.base, a.dataLocator, 0, false).size();
}

// Expected values below are what pffexport and readpst report for the same items.
TEST(CorpusItemsTest, AnsiMailWithAttachment) {
    BREVIK_REQUIRE_CORPUS();
    LoadedFile f("sample2.pst");
    const int i = findItem(f, "Here is a sample message");
    ASSERT_GE(i, 0);
    const ItemSummary& s = f.base.itemSummaries[i];
    const MessageRecord& r = *f.base.messageEntries[i].record;
    EXPECT_EQ(r.messageClass, "IPM.Note");
    EXPECT_EQ(s.fromText, "Terry Mahaffey");
    EXPECT_EQ(s.toText, "Terry Mahaffey");
    EXPECT_EQ(s.utcTime, 129131467279515197ull);  // delivery, 2 s after submission
    EXPECT_EQ(s.bodyFormat, 1);
    EXPECT_EQ(s.bodyLength, 1702u);
    EXPECT_EQ(fnv1a(s.bodyText), 0xf9e01e8c90b60566ull);
    ASSERT_EQ(r.recipients.size(), 1u);
    EXPECT_EQ(r.recipients[0].displayName, "Terry Mahaffey");
    EXPECT_EQ(r.recipients[0].addressType, "EX");
    EXPECT_EQ(r.recipients[0].emailAddress,
              "/O=MICROSOFT/OU=Northamerica/cn=Recipients/cn=terrymah1");
    EXPECT_EQ(r.recipients[0].recipientType, 1u);
    EXPECT_EQ(s.attachmentNames, std::vector<std::string>{"leah_thumper.jpg"});
    ASSERT_EQ(r.attachments.size(), 1u);
    EXPECT_EQ(dataSize(f, r.attachments[0]), 93142u);
}

TEST(CorpusItemsTest, AnsiAndUnicodeTwinsAgree) {
    BREVIK_REQUIRE_CORPUS();
    LoadedFile ansi("test_ansi.pst");
    LoadedFile wide("test_unicode.pst");
    const int a = findItem(ansi, "Post");
    const int w = findItem(wide, "Post");
    ASSERT_GE(a, 0);
    ASSERT_GE(w, 0);
    const ItemSummary& sa = ansi.base.itemSummaries[a];
    const ItemSummary& sw = wide.base.itemSummaries[w];
    EXPECT_EQ(ansi.base.messageEntries[a].record->messageClass, "IPM.Post");
    EXPECT_EQ(wide.base.messageEntries[w].record->messageClass, "IPM.Post");
    EXPECT_EQ(sa.fromText, "Terry Mahaffey");
    EXPECT_EQ(sw.fromText, sa.fromText);
    EXPECT_EQ(sa.kind, 200);
    // Posted a few seconds apart, in the same minute.
    EXPECT_EQ(sa.dateText, "07/09/08 18:11");
    EXPECT_EQ(sw.dateText, sa.dateText);
    EXPECT_EQ(sa.bodyFormat, 1);
    EXPECT_EQ(sw.bodyText, sa.bodyText);
}

TEST(CorpusItemsTest, Contacts) {
    BREVIK_REQUIRE_CORPUS();
    LoadedFile f("sample-contacts.pst");
    std::vector<std::string> names;
    for (std::uint32_t i : f.loaded) {
        const ItemSummary& s = f.base.itemSummaries[i];
        EXPECT_EQ(s.kind, 102);
        EXPECT_EQ(s.fromText, s.subjectText);
        names.push_back(s.subjectText);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Sebastian Wright", "Wichert Kroos",
                                               "Christoffer van de Meeberg", "Margaret J. Tolle",
                                               "Matthew R. Wilcox", "Bertha A. Buell"}));

    const int m = findItem(f, "Matthew R. Wilcox");
    ASSERT_GE(m, 0);
    const MessageRecord& r = *f.base.messageEntries[m].record;
    ASSERT_TRUE(r.contact);
    EXPECT_EQ(r.contact->slot(0x3A06), "Matthew");
    EXPECT_EQ(r.contact->slot(0x3A11), "Wilcox");
    EXPECT_EQ(r.contact->slot(0x3A16), "Briazz");
    EXPECT_EQ(r.contact->slot(0x3A17), "Psychiatric aide");

    // The e-mail address is a named property: it lands in the strings by id.
    const int w = findItem(f, "Sebastian Wright");
    ASSERT_GE(w, 0);
    const auto& strings = f.base.messageEntries[w].record->stringsById;
    EXPECT_TRUE(std::any_of(strings.begin(), strings.end(), [](const auto& kv) {
        return kv.second == "SebastianWright@dayrep.com";
    }));
}

TEST(CorpusItemsTest, EmbeddedMessageAttachment) {
    BREVIK_REQUIRE_CORPUS();
    LoadedFile f("submessage.pst");
    const int i = findItem(f, "This is a message which has an embedded message attached");
    ASSERT_GE(i, 0);
    const MessageNodeEntry& e = f.base.messageEntries[i];
    const ItemSummary& s = f.base.itemSummaries[i];
    EXPECT_EQ(s.utcTime, 129133405311976010ull);
    EXPECT_EQ(s.attachmentNames, std::vector<std::string>{"This is an embedded message.msg"});
    ASSERT_EQ(e.record->attachments.size(), 1u);
    const AttachmentRecord& a = e.record->attachments[0];
    EXPECT_EQ(a.method, kAttachEmbeddedMessage);

    // The attachment's data names the embedded message's own node.
    ASSERT_EQ(a.dataLocator.length, 0u);
    PropertyList rows;
    ASSERT_EQ(readPropertyList(f.base, rows, static_cast<BlockIndex>(a.dataLocator.position),
                               e.subnodes, false),
              0);
    auto embedded = makeItemRecord();
    interpretProperties(&f.base, rows, *embedded);
    ASSERT_TRUE(embedded->envelope.subject);
    EXPECT_EQ(embedded->envelope.subject->text, "This is an embedded message");
}

TEST(CorpusItemsTest, HtmlBodyAndAttachmentsOfAUnicodeFile) {
    BREVIK_REQUIRE_CORPUS();
    LoadedFile f("outlook1.pst");
    const int i = findItem(f, "HTML body");
    ASSERT_GE(i, 0);
    const ItemSummary& s = f.base.itemSummaries[i];
    EXPECT_EQ(s.bodyFormat, 1);
    EXPECT_EQ(s.bodyLength, 47944u);
    EXPECT_EQ(fnv1a(s.bodyText), 0x240504ea852bab7dull);
    EXPECT_EQ(s.attachmentCount, 12);
    EXPECT_EQ(s.attachmentNames.front(), "image001.png");
    EXPECT_EQ(s.attachmentNames.back(), "image012.gif");

    // Two copies (Inbox and Sent Items) with the same attachments; the sent copy quotes the
    // recipient's name.
    std::vector<std::string> recipientNames;
    for (std::uint32_t k : f.loaded) {
        const ItemSummary& m = f.base.itemSummaries[k];
        if (!f.base.messageEntries[k].reachable || m.subjectText != "Multiple attachments")
            continue;
        const MessageRecord& r = *f.base.messageEntries[k].record;
        EXPECT_EQ(m.attachmentNames,
                  (std::vector<std::string>{"text file.txt", "Sunset.jpg", "Blue hills.jpg"}));
        ASSERT_EQ(r.attachments.size(), 3u);
        EXPECT_EQ(dataSize(f, r.attachments[0]), 29u);
        EXPECT_EQ(dataSize(f, r.attachments[1]), 71189u);
        EXPECT_EQ(dataSize(f, r.attachments[2]), 28521u);
        EXPECT_EQ(m.fromText, "Saqib Razzaq");
        ASSERT_EQ(r.recipients.size(), 1u);
        EXPECT_EQ(r.recipients[0].addressType, "SMTP");
        EXPECT_EQ(r.recipients[0].emailAddress, "saqib.razzaq@xp.local");
        recipientNames.push_back(r.recipients[0].displayName.value_or(""));
    }
    std::sort(recipientNames.begin(), recipientNames.end());
    EXPECT_EQ(recipientNames,
              (std::vector<std::string>{"'saqib.razzaq@xp.local'", "saqib.razzaq@xp.local"}));
}

// Every item node of every sample file, live or stale: loading never brings the process down.
TEST(CorpusItemsTest, EveryItemNodeLoads) {
    BREVIK_REQUIRE_CORPUS();
    std::size_t loaded = 0;
    for (const auto& path : test::corpusPstFiles()) {
        LoadedFile f(path.substr(path.rfind('/') + 1));
        loaded += f.loaded.size();
        for (std::uint32_t i : f.loaded)
            EXPECT_EQ(f.base.itemSummaries[i].bodyLength,
                      f.base.itemSummaries[i].bodyText.size() + 1);
    }
    EXPECT_GT(loaded, 100u);
}

bool sameSummary(const ItemSummary& a, const ItemSummary& b) {
    return a.fromText == b.fromText && a.toText == b.toText && a.subjectText == b.subjectText &&
           a.utcTime == b.utcTime && a.attachmentCount == b.attachmentCount &&
           a.hiddenCode == b.hiddenCode && a.kind == b.kind && a.number == b.number &&
           a.bodyText == b.bodyText && a.bodyFormat == b.bodyFormat &&
           a.bodyLength == b.bodyLength && a.bodyRef.position == b.bodyRef.position &&
           a.bodyCodepage == b.bodyCodepage && a.attachmentNames == b.attachmentNames &&
           a.bodyFromRtf == b.bodyFromRtf;
}

// A load for the summary row alone gives every sample item the row a full load gives it.
TEST(CorpusItemsTest, SummaryLoadsGiveTheRowsOfFullLoads) {
    BREVIK_REQUIRE_CORPUS();
    std::size_t compared = 0;
    for (const auto& path : test::corpusPstFiles()) {
        LoadedFile f(path.substr(path.rfind('/') + 1));
        f.base.summaryCounter = 0;
        for (std::uint32_t i : f.loaded) {
            const ItemSummary full = f.base.itemSummaries[i];
            ASSERT_EQ(loadMessage(f.base, i, LoadScope::Summary), 0);
            MessageNodeEntry& e = f.base.messageEntries[i];
            EXPECT_TRUE(e.record->recipients.empty());
            e.attachmentCount = e.record->currentAttachment;
            buildItemSummary(f.base, f.base.rows(), i);
            EXPECT_TRUE(sameSummary(full, f.base.itemSummaries[i])) << path << " item " << i;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100u);
}

// Items read ahead as a run load in full from the window alone, and just as they load without.
TEST(CorpusItemsTest, ItemsReadAheadLoadWithoutFurtherReads) {
    BREVIK_REQUIRE_CORPUS();
    LoadedFile f("outlook1.pst");
    ASSERT_GT(f.loaded.size(), 10u);
    Bytes image(f.base.fileSize);
    ASSERT_TRUE(f.base.readAt(0, image));
    auto source = std::make_unique<FailingSource>(std::move(image));
    const FailingSource& counter = *source;
    f.base.attachSource(std::move(source));

    ReadWindow window(f.base);
    readItemsAhead(f.base, window, f.loaded);
    const std::uint64_t before = counter.reads();
    for (std::uint32_t i : f.loaded) {
        const auto record = loadItemRecord(f.base, i);
        ASSERT_TRUE(record);
        const MessageRecord& alone = *f.base.messageEntries[i].record;
        EXPECT_EQ(record->envelope.subject.has_value(), alone.envelope.subject.has_value());
        EXPECT_EQ(record->envelope.html, alone.envelope.html);
        EXPECT_EQ(record->envelope.body, alone.envelope.body);
        EXPECT_EQ(record->recipients.size(), alone.recipients.size());
        ASSERT_EQ(record->attachments.size(), alone.attachments.size());
        for (std::size_t k = 0; k < alone.attachments.size(); ++k)
            EXPECT_EQ(loadValue(f.base, record->attachments[k].dataLocator, 0, false),
                      loadValue(f.base, alone.attachments[k].dataLocator, 0, false));
    }
    EXPECT_EQ(counter.reads(), before);
}

}  // namespace
}  // namespace brevik
