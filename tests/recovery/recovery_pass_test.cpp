#include "recovery/recovery_pass.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "engine/block_claims.h"
#include "engine/byte_source.h"
#include "engine/index_tables.h"
#include "message/item_access.h"
#include "message/item_summary.h"
#include "message/records.h"
#include "recovery/carving.h"
#include "recovery/folder_tree.h"
#include "support/app_fixtures.h"
#include "support/corpus.h"
#include "support/damage.h"
#include "support/peer_tools.h"
#include "support/pst_image.h"
#include "support/store_image.h"
#include "support/written_store.h"
#include "writers/pst/sample_generator.h"

namespace brevik {
namespace {

using test::StoreImage;

constexpr std::uint32_t kRoot = 0x122, kTop = 0x8022, kInbox = 0x8042, kSent = 0x8062;
constexpr std::uint32_t kItem = ndb::kFirstMessageNodeId + 4;  // nid type 0x04: a normal message

struct Recovered {
    std::unique_ptr<RecoveredBase> base;
    ProgressMilestones progress;
};

std::unique_ptr<Recovered> recover(const Bytes& image) {
    auto r = std::make_unique<Recovered>();
    r->base = test::openImage(image);
    r->base->progress = &r->progress;
    openMessageBase(*r->base);
    return r;
}

// Root, top of personal folders and an Inbox, all live.
void addFolders(StoreImage& s) {
    s.node(kRoot, s.folderData(""), kRoot);
    s.node(kTop, s.folderData("Top of Personal Folders"), kRoot);
    s.node(kInbox, s.folderData("Inbox"), kTop);
}

std::vector<std::string> subjects(const RecoveredBase& b) {
    std::vector<std::string> out;
    for (std::uint32_t i = 0; i < b.itemCount; ++i)
        out.push_back(b.itemSummaries[i].subjectText);
    return out;
}

TEST(RecoveryPass, CyclicImagesOfBothLayoutsRecoverWhateverTheHeaderSays) {
    for (bool unicode : {false, true})
        for (std::uint8_t crypt : {0, 1, 2, 0x7E}) {
            SCOPED_TRACE(testing::Message() << "unicode " << unicode << " crypt " << int(crypt));
            StoreImage store(unicode, false);
            store.blocks().encodeCyclic();
            addFolders(store);
            for (int i = 0; i < 3; ++i)
                store.node(kItem + 32 * i, store.itemData("Mail " + std::to_string(i)), kInbox);
            Bytes image = store.build();
            image[unicode ? 513 : 461] = crypt;
            auto r = recover(image);
            ASSERT_EQ(r->base->resultOk, 1);
            EXPECT_TRUE(r->base->cyclicBlocks());
            EXPECT_EQ(subjects(*r->base), (std::vector<std::string>{"Mail 0", "Mail 1", "Mail 2"}));
            EXPECT_EQ(r->base->itemSummaries[0].bodyText, "Body of Mail 0");
        }
}

TEST(RecoveryPass, ItemsWhoseNodesAreGoneComeBackFromTheirContentsTableRows) {
    test::TempDir dir;
    const std::string path = (dir.path() / "rows.pst").string();
    ASSERT_TRUE(test::writeInbox(
        path, {test::mailItem("first"), test::mailItem("second"), test::mailItem("third")}));
    Bytes image = test::readFileBytes(path);
    const auto healthy = recover(image);
    ASSERT_EQ(healthy->base->itemCount, 3u);
    EXPECT_EQ(healthy->base->dropped.itemsFromTableRows, 0u);  // never a second copy
    // Destroy the node entries of the first two items: their ids become 0.
    std::uint32_t inbox = 0;
    for (const NodeEntry& n : healthy->base->nodeTable) {
        if ((n.nodeId & 0x1F) != 0x04 || n.nodeId == healthy->base->messageEntries[2].nodeId)
            continue;
        inbox = n.parentNodeId;
        for (std::uint64_t at = n.pageOffset; at + 32 <= n.pageOffset + 488; at += 32)
            if (load32(&image[at]) == n.nodeId) store32(&image[at], 0);
    }
    const auto r = recover(image);
    RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    EXPECT_EQ(b.dropped.itemsFromTableRows, 2u);
    ASSERT_EQ(b.itemCount, 3u);
    std::multiset<std::string> found;
    for (std::uint32_t i = 0; i < b.itemCount; ++i) {
        const MessageNodeEntry& e = b.messageEntries[i];
        EXPECT_EQ(e.parentNodeId, inbox);  // in the folder whose table held the row
        found.insert(b.itemSummaries[i].subjectText + "/" + itemSourceName(e) + "/" +
                     b.itemSummaries[i].fromText);
    }
    EXPECT_EQ(found,
              (std::multiset<std::string>{"first/table row/Sender", "second/table row/Sender",
                                          "third/live index/Sender"}));

    // A node entry wiped whole leaves its item's data unnamed: the item comes back from its data,
    // and its table row, naming the same subject and time, is not a second copy.
    for (std::uint64_t at = 0; at + 32 <= image.size(); at += 32)
        if (load32(&image[at]) == 0 && load32(&image[at + 24]) == inbox)
            std::fill_n(&image[at], 32, 0);
    const auto wiped = recover(image);
    EXPECT_EQ(wiped->base->dropped.itemsFromDataAlone, 2u);
    EXPECT_EQ(wiped->base->dropped.itemsFromTableRows, 0u);
    EXPECT_EQ(wiped->base->itemCount, 3u);

    // A node entry that survives while its item's data is destroyed: the item is listed from its
    // row, in its folder, and counts as lost data.
    Bytes unreadable = test::readFileBytes(path);
    const RecoveredBase& sound = *healthy->base;
    const BlockEntry& data = sound.blockTable[sound.messageEntries[1].dataIndex];
    std::fill_n(&unreadable[data.fileOffset], data.byteCount, 0xEE);
    const auto rowOnly = recover(unreadable);
    const RecoveredBase& ro = *rowOnly->base;
    ASSERT_EQ(ro.itemCount, 3u);
    EXPECT_EQ(ro.dropped.itemsNotLoaded, 0u);
    EXPECT_TRUE(ro.damage.dataLost());
    std::multiset<std::string> listed;
    for (std::uint32_t i = 0; i < ro.itemCount; ++i)
        listed.insert(ro.itemSummaries[i].subjectText + "/" + itemSourceName(ro.messageEntries[i]));
    EXPECT_EQ(listed, (std::multiset<std::string>{"first/live index", "second/table row",
                                                  "third/live index"}));
}

class RecoveryPassTest : public ::testing::TestWithParam<std::tuple<bool, bool>> {
  protected:
    StoreImage store{std::get<0>(GetParam()), std::get<1>(GetParam())};
};

TEST_P(RecoveryPassTest, HealthyFileGivesTreeItemsAndEncoding) {
    addFolders(store);
    for (int i = 0; i < 3; ++i)
        store.node(kItem + 32 * i, store.itemData("Mail " + std::to_string(i)), kInbox);
    auto r = recover(store.build());
    RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    EXPECT_EQ(b.isUnicode(), std::get<0>(GetParam()));
    EXPECT_EQ(b.decodesBlocks(), std::get<1>(GetParam()));
    EXPECT_EQ(b.itemCount, 3u);
    EXPECT_EQ(subjects(b), (std::vector<std::string>{"Mail 0", "Mail 1", "Mail 2"}));
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(b.itemSummaries[i].number, i + 1);
        EXPECT_EQ(b.itemSummaries[i].deletedMark, 0);
        EXPECT_EQ(b.itemSummaries[i].fromText, "Sender");
    }
    ASSERT_NE(b.topNode, nullptr);
    EXPECT_EQ(folderName(b, b.topNode->folderIndex), "Top of Personal Folders");
    ASSERT_NE(b.topNode->firstChild, nullptr);
    EXPECT_EQ(folderName(b, b.topNode->firstChild->folderIndex), "Inbox");
    EXPECT_EQ(b.folderEntries[b.topNode->firstChild->folderIndex].itemCount, 3u);
    EXPECT_TRUE(b.namedProps.empty());
    // Milestones in order, with three items spread evenly over the loading range.
    for (int slot :
         {77, 106, 156, 161, 166, 171, 176, 276, 376, 466, 486, 526, 859, 1192, 1526, 1546, 1576})
        EXPECT_GT(r->progress.value(slot), ProgressMilestones::kMarkFloor) << slot;
    EXPECT_EQ(r->progress.value(527), 0u);
}

TEST_P(RecoveryPassTest, StaleEntriesAreDeletedItemsAndLiveCopiesWin) {
    addFolders(store);
    const auto liveMail = store.itemData("Live");
    const auto deletedMail = store.itemData("Deleted");
    const auto twice = store.itemData("Stale twice");
    store.node(kItem, liveMail, kInbox, true);
    store.node(kItem, liveMail, kInbox, false);  // stale copy of a live item
    store.node(kItem + 32, deletedMail, kInbox, false);
    store.node(kItem + 64, twice, kInbox, false);
    store.node(kItem + 96, twice, kInbox, false);
    // A folder with a live and a stale copy stays one folder.
    store.node(kSent, store.folderData("Sent Items"), kTop, false);
    store.node(kSent, store.folderData("Sent Items"), kTop, true);
    auto r = recover(store.build());
    RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    ASSERT_EQ(subjects(b), (std::vector<std::string>{"Live", "Deleted", "Stale twice"}));
    EXPECT_EQ(b.itemSummaries[0].deletedMark, 0);
    EXPECT_EQ(b.itemSummaries[1].deletedMark, 1);
    EXPECT_EQ(b.itemSummaries[2].deletedMark, 1);
    int sent = 0;
    for (const FolderEntry& f : b.folderEntries)
        if (f.nodeId == kSent) {
            ++sent;
            EXPECT_EQ(f.reachable, 1);
        }
    EXPECT_EQ(sent, 1);
    // The stale copy of the live item and the second stale copy are counted, not listed.
    EXPECT_EQ(b.dropped.duplicateItems, 2u);
    EXPECT_EQ(b.dropped.orphanGroups, 0u);
}

TEST_P(RecoveryPassTest, ALiveCopyFoundAfterAStaleOneReplacesIt) {
    store.stalePagesFirst();
    addFolders(store);
    const auto mail = store.itemData("Moved back");
    const auto same = store.itemData("Two live copies");
    store.node(kItem, mail, kInbox, false);
    store.node(kItem + 32, same, kInbox, true);
    store.node(kItem + 64, same, kInbox, true);
    store.node(kItem, mail, kInbox, true);
    auto r = recover(store.build());
    RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    std::size_t moved = 0, twoLive = 0;
    for (std::uint32_t i = 0; i < b.itemCount; ++i) {
        if (b.itemSummaries[i].subjectText == "Moved back") {
            ++moved;
            EXPECT_EQ(b.itemSummaries[i].deletedMark, 0);
        }
        twoLive += b.itemSummaries[i].subjectText == "Two live copies";
    }
    EXPECT_EQ(moved, 1u);
    EXPECT_EQ(twoLive, 2u);
}

TEST_P(RecoveryPassTest, ItemsWithoutTheirFolderFormNamedOrphanGroups) {
    addFolders(store);
    store.node(kItem, store.itemData("Lost one"), 0x9982);
    store.node(kItem + 32, store.itemData("Lost two"), 0x9982);
    store.node(kItem + 64, store.itemData("Other lost"), 0x99A2);
    auto r = recover(store.build());
    RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    std::vector<std::string> names;
    for (const FolderTreeNode* c = b.topNode->firstChild; c; c = c->nextSibling)
        names.emplace_back(folderName(b, c->folderIndex));
    // The root folder has no name either: it is the first unnamed folder.
    EXPECT_EQ(names, (std::vector<std::string>{"Inbox", "Lost and Found_1", "Lost and Found_2"}));
    for (const FolderEntry& f : b.folderEntries)
        if (f.orphanGroup) {
            EXPECT_EQ(f.dataIndex, 0);
            EXPECT_EQ(f.parentNodeId, 0u);
            EXPECT_EQ(f.reachable, 0);
            EXPECT_EQ(f.itemCount, f.nodeId == 0x9982 ? 2u : 1u);
        }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RecoveryPassTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Unicode" : "Ansi") +
                                    (std::get<1>(info.param) ? "Permuted" : "Plain");
                         });

// With every leaf page of the block index zeroed, no node names a block the index knows: the
// blocks are found by their trailers, and every item comes back whole.
TEST(RecoveryPass, BlocksWhoseIndexPagesAreLostAreFoundByTheirTrailers) {
    test::TempDir dir;
    const std::string path = (dir.path() / "blocks.pst").string();
    std::vector<pst::Item> items;
    for (int i = 0; i < 30; ++i) {
        items.push_back(test::mailItem("mail " + std::to_string(i),
                                       {pst::unicodeProperty(0x1000, std::string(5000, 'b'))}));
        pst::Attachment a;
        a.properties = {pst::int32Property(0x3705, 1), pst::unicodeProperty(0x3707, "a.bin")};
        a.data.assign(3000, static_cast<std::uint8_t>(i));
        items.back().attachments.push_back(a);
    }
    ASSERT_TRUE(test::writeInbox(path, items));
    Bytes image = test::readFileBytes(path);
    std::size_t zeroed = 0;
    for (const test::IndexPage& p : test::liveIndexPages(image, true))
        if (!p.nodeIndex && p.level == 0) {
            test::zeroRange(image, p.offset, 512);
            ++zeroed;
        }
    ASSERT_GT(zeroed, 0u);
    const auto r = recover(image);
    const RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    EXPECT_GT(b.dropped.blocksFromTrailers, 0u);
    EXPECT_EQ(b.dropped.nodesWithoutData, 0u);
    std::set<std::string> found;
    for (std::uint32_t i = 0; i < b.itemCount; ++i) {
        const ItemSummary& s = b.itemSummaries[i];
        if (s.hiddenCode || s.deletedMark) continue;
        found.insert(s.subjectText);
        EXPECT_EQ(s.attachmentCount, 1) << s.subjectText;
        EXPECT_EQ(s.bodyLength, 5001u) << s.subjectText;
    }
    EXPECT_EQ(found.size(), 30u);
    EXPECT_TRUE(b.damagedItems.empty());

    // Cut short before its first index page, the file is still one: its header names the
    // layout, and the items come back from their data alone.
    Bytes cut = test::readFileBytes(path);
    std::uint64_t firstPage = cut.size();
    for (const test::IndexPage& p : test::findIndexPages(cut, true))
        firstPage = std::min(firstPage, p.offset);
    cut.resize(firstPage);
    const auto c = recover(cut);
    ASSERT_EQ(c->base->resultOk, 1) << c->base->errorText;
    std::set<std::string> fromData;
    for (std::uint32_t i = 0; i < c->base->itemCount; ++i)
        fromData.insert(c->base->itemSummaries[i].subjectText);
    EXPECT_EQ(fromData, found);
    EXPECT_EQ(c->base->dropped.itemsFromDataAlone, 30u);
}

TEST(RecoveryPass, UnopenableFileFailsWithFileAccess) {
    RecoveredBase b;
    setMessageBasePath(b, "/nonexistent/folder/missing.pst");
    openMessageBase(b);
    EXPECT_EQ(b.resultOk, 0);
    EXPECT_EQ(b.errorCode, ERROR_FILE_ACCESS);
    EXPECT_EQ(b.itemCount, 0u);
    EXPECT_EQ(b.rootNode, nullptr);
}

TEST(RecoveryPass, NotAPersonalFolderFileFails) {
    auto r = recover(Bytes(4096, 0x5A));
    EXPECT_EQ(r->base->resultOk, 0);
}

// The messages that name the cause of a failed pass read it from errorText.
// A stretch of the file that cannot be read (a bad sector) costs only what lies in it: the census
// reads around it, the folder whose record lay there keeps its items under a made-up name, and
// both losses are reported.
TEST(RecoveryPass, AnUnreadableStretchCostsOnlyWhatLiesInIt) {
    BREVIK_REQUIRE_CORPUS();
    const Bytes image = test::readWholeFile(test::corpusPath("pst/outlook1.pst"));
    auto healthy = recover(image);
    ASSERT_EQ(healthy->base->resultOk, 1);
    const RecoveredBase& h = *healthy->base;
    std::uint32_t folder = h.folderCount;
    for (std::uint32_t f = 0; f < h.folderCount && folder == h.folderCount; ++f)
        if (h.folderEntries[f].reachable && h.folderEntries[f].itemCount > 0) folder = f;
    ASSERT_LT(folder, h.folderCount);
    const std::uint64_t bad = h.blockTable[h.folderEntries[folder].dataIndex].fileOffset;

    auto source = std::make_unique<FailingSource>(image);
    source->failRange(bad, 64);
    RecoveredBase damaged;
    damaged.attachSource(std::move(source));
    damaged.censusSkipsLiveBlocks = false;  // the census reads the bad stretch too
    openMessageBase(damaged);
    ASSERT_EQ(damaged.resultOk, 1) << damaged.errorText;
    EXPECT_EQ(damaged.itemCount, h.itemCount);
    EXPECT_EQ(damaged.damage.count(DamageKind::UnreadablePages), 1u);
    EXPECT_EQ(damaged.damage.firstOffsets(DamageKind::UnreadablePages).front(),
              bad / ndb::kPageSize * ndb::kPageSize);
    EXPECT_EQ(damaged.damage.count(DamageKind::FolderNotLoaded), 1u);
    EXPECT_TRUE(damaged.damage.dataLost());
    EXPECT_EQ(damaged.folderEntries[folder].itemCount, h.folderEntries[folder].itemCount);
}

TEST(RecoveryPass, AFailedPassSaysWhyInErrorText) {
    auto junk = recover(Bytes(4096, 0x5A));
    EXPECT_EQ(junk->base->resultOk, 0);
    EXPECT_EQ(junk->base->errorText, "no block and node index pages found");

    StoreImage unreadable(true, false);
    for (const std::uint32_t folder : {kRoot, kTop}) {
        const BlockIndex data = unreadable.blocks().addData(Bytes(64, 0x12));
        unreadable.node(folder, unreadable.blocks().blockId(data), kRoot);
    }
    auto garbled = recover(unreadable.build());
    EXPECT_EQ(garbled->base->errorCode, ERROR_NO_READABLE_BLOCKS);
    EXPECT_EQ(garbled->base->errorText, "no readable data blocks");

    StoreImage store;
    addFolders(store);
    auto stopped = test::openImage(store.build());
    stopped->requestStop();
    openMessageBase(*stopped);
    EXPECT_EQ(stopped->resultOk, 0);
    EXPECT_EQ(stopped->errorText, "stopped");
}

TEST(RecoveryPass, StoppingWhileItemsLoadFailsTheRun) {
    StoreImage store;
    addFolders(store);
    for (int i = 0; i < 40; ++i)
        store.node(kItem + 32 * i, store.itemData("Mail"), kInbox);
    const Bytes image = store.build();
    // Count the reads of a whole run, then stop half-way through the item loads, as a user
    // pressing Stop mid-run would.
    auto counting = std::make_unique<FailingSource>(image);
    const FailingSource& counter = *counting;
    RecoveredBase full;
    full.attachSource(std::move(counting));
    openMessageBase(full);
    ASSERT_EQ(full.resultOk, 1);
    ASSERT_GT(counter.reads(), 60u);

    RecoveredBase stopped;
    auto stopping = std::make_unique<FailingSource>(image);
    stopping->onRead([&](std::uint64_t read) {
        if (read == 60) stopped.requestStop();
    });
    stopped.attachSource(std::move(stopping));
    ProgressMilestones progress;
    stopped.progress = &progress;
    openMessageBase(stopped);
    EXPECT_EQ(stopped.resultOk, 0);
    EXPECT_EQ(progress.value(1576), 0u);
}

TEST(RecoveryPass, NameToIdMapInTheFirstBlockIsRead) {
    StoreImage store;
    // The map node's data is the first block of the table (index 0).
    test::HeapBuilder heap(0xBC);
    Bytes entries(16, 0), strings, guids(16, 0x11);
    store32(entries.data(), 0x8233);  // numeric name
    store16(entries.data() + 4, 2 << 1);
    store16(entries.data() + 6, 0);
    store32(entries.data() + 8, 0);  // string name at offset 0 of the string stream
    store16(entries.data() + 12, (3 << 1) | 1);
    store16(entries.data() + 14, 1);
    const std::string name = "Keywords";
    strings.resize(4);
    store32(strings.data(), static_cast<std::uint32_t>(name.size() * 2));
    for (char c : name) {
        strings.push_back(static_cast<std::uint8_t>(c));
        strings.push_back(0);
    }
    test::addPropertyContext(heap, {{0x0002, 0x0102, heap.add(guids)},
                                    {0x0003, 0x0102, heap.add(entries)},
                                    {0x0004, 0x0102, heap.add(strings)}});
    const BlockIndex mapBlock = store.blocks().addHeap(heap, false);
    ASSERT_EQ(mapBlock, 0);
    store.node(ndb::kNidNameToIdMap, store.blocks().blockId(mapBlock), 0);
    addFolders(store);
    store.node(kItem, store.itemData("Mail"), kInbox);
    auto r = recover(store.build());
    RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    ASSERT_EQ(b.namedProps.size(), 2u);
    EXPECT_EQ(b.namedProps[0].numericId, 0x8233u);
    EXPECT_EQ(b.namedProps[0].propertyId, 0x8000u);
    EXPECT_EQ(b.namedProps[1].name, "Keywords");
    EXPECT_EQ(b.namedProps[1].propertyId, 0x8001u);
    ASSERT_EQ(b.namedPropGuids.size(), 1u);
}

}  // namespace
}  // namespace brevik

namespace brevik {
namespace {

TEST(RecoveryPassCarving, ItemDataNoNodeNamesIsKeptAsADeletedItemOfItsOwnFolder) {
    for (bool unicode : {false, true}) {
        StoreImage store(unicode, true);
        addFolders(store);
        store.node(kItem, store.itemData("Still listed"), kInbox);
        store.itemData("Node entry lost");  // its node entry was overwritten
        // An embedded message's properties are named by a subnode block, not by a node entry.
        const std::uint64_t embedded = store.itemData("Embedded message");
        const BlockIndex subnodes = store.blocks().addRaw(
            test::subnodeLeafBlock(unicode, {{0x8025, embedded, 0}}), 0x10002);
        store.node(kItem + 32, store.itemData("Has an attachment"), kInbox, true,
                   store.blocks().blockId(subnodes));
        auto r = recover(store.build());
        RecoveredBase& b = *r->base;
        ASSERT_EQ(b.resultOk, 1);
        ASSERT_EQ(subjects(b), (std::vector<std::string>{"Still listed", "Has an attachment",
                                                         "Node entry lost"}));
        EXPECT_EQ(b.itemSummaries[2].deletedMark, 1);
        EXPECT_EQ(b.messageEntries[2].parentNodeId, kUnclaimedItemsFolderId);
        const FolderTreeNode* group = findTreeNode(b, b.rootNode, kUnclaimedItemsFolderId);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->parent, b.topNode);
        EXPECT_EQ(folderName(b, group->folderIndex), "Lost and Found_1");
        EXPECT_EQ(b.dropped.itemsFromDataAlone, 1u);
        EXPECT_EQ(b.dropped.orphanGroups, 1u);
    }
}

// An older copy of a listed item, left behind when the item was rewritten, is found from its
// data alone: it is a deleted item of the listed item's folder, and no folder is made up for it.
// A copy without a time is too plain to tell and stays in Lost and Found.
TEST(RecoveryPassCarving, AStaleCopyOfAListedItemGoesWithItsFolder) {
    constexpr std::uint64_t kTime = 0x01D0000012345678;
    StoreImage store(true, true);
    addFolders(store);
    store.node(kSent, store.folderData("Sent Items"), kTop);
    store.node(kItem, store.itemData("Report", "IPM.Note", "Ann", kTime), kSent);
    store.node(kItem + 32, store.itemData("Untimed"), kInbox);
    store.node(kItem + 64, store.itemData("Other", "IPM.Note", "Ann", kTime + 1), kInbox);
    store.itemData("Report", "IPM.Note", "Ann", kTime);  // the stale copy
    store.itemData("Untimed");
    auto r = recover(store.build());
    RecoveredBase& b = *r->base;
    ASSERT_EQ(b.resultOk, 1);
    ASSERT_EQ(b.itemCount, 5u);
    std::multiset<std::string> placed;
    for (std::uint32_t i = 0; i < b.itemCount; ++i) {
        const MessageNodeEntry& e = b.messageEntries[i];
        const ItemSummary& s = b.itemSummaries[i];
        placed.insert(s.subjectText + (s.deletedMark ? " deleted in " : " in ") +
                      (e.parentNodeId == kSent    ? "Sent"
                       : e.parentNodeId == kInbox ? "Inbox"
                                                  : "Lost and Found"));
        EXPECT_EQ(s.number, i + 1);  // numbers follow the new order
        const FolderEntry* f = nullptr;
        for (const FolderEntry& fe : b.folderEntries)
            if (i >= fe.firstItem && i < fe.endItem) f = &fe;
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->nodeId, e.parentNodeId);
    }
    EXPECT_EQ(placed, (std::multiset<std::string>{"Report in Sent", "Report deleted in Sent",
                                                  "Untimed in Inbox", "Other in Inbox",
                                                  "Untimed deleted in Lost and Found"}));
    EXPECT_EQ(b.dropped.orphanGroups, 1u);
}

// What the items' own internal blocks name, gathered as their loads read them, plus a scan of
// the other internal blocks finds the items the scan of every internal block finds.
TEST(RecoveryPassCarving, ClaimsGatheredFromItemsLeaveTheScanItsAnswer) {
    test::TempDir dir;
    const std::string path = (dir.path() / "lost.pst").string();
    test::writeSample(path, 400, 40, 20);
    Bytes image = test::readFileBytes(path);
    {
        // Every ninth item loses its node entry whole.
        const auto healthy = recover(image);
        std::uint32_t k = 0;
        for (const NodeEntry& n : healthy->base->nodeTable)
            if (n.nodeId >= ndb::kFirstMessageNodeId && ++k % 9 == 0)
                for (std::uint64_t at = n.pageOffset; at + 32 <= n.pageOffset + 488; at += 32)
                    if (load32(&image[at]) == n.nodeId) std::fill_n(&image[at], 32, 0);
    }
    std::vector<Bytes> images{image};
    for (const std::string& corpusFile : test::corpusPstFiles())
        images.push_back(test::readFileBytes(corpusFile));
    for (const Bytes& bytes : images) {
        const auto r = recover(bytes);
        RecoveredBase& b = *r->base;
        if (b.resultOk != 1) continue;
        const std::vector<BlockIndex> everything = findUnclaimedItemBlocks(b);
        // The same when block ids are too sparse for a slot per id.
        b.blockIdSlots = {};
        EXPECT_EQ(findUnclaimedItemBlocks(b), everything);
        indexBlockIds(b);
        BlockClaims claims;
        for (const MessageNodeEntry& e : b.messageEntries) {
            if (e.source != ItemSource::Index) continue;
            std::vector<SubnodeEntry> subnodes;
            if (e.subnodeIndex != kNoBlock)
                readSubnodeList(b, subnodes, e.subnodeIndex, 0, 0, &claims);
            claimDataTree(b, e.dataIndex, claims);
            for (const SubnodeEntry& s : subnodes)
                claimDataTree(b, s.dataIndex, claims);
        }
        const std::size_t gathered = claims.readBlocks.size();
        EXPECT_EQ(findUnclaimedItemBlocks(b, &claims), everything);
        if (&bytes == &images.front()) {
            EXPECT_GE(everything.size(), 40u);  // the lost items, and nothing else
            EXPECT_LE(everything.size(), 60u);
            EXPECT_GT(gathered, 300u);
        }
    }
}

}  // namespace
}  // namespace brevik

namespace brevik {
namespace {

std::unique_ptr<Recovered> recoverFile(const std::string& path, std::uint32_t threads) {
    auto r = std::make_unique<Recovered>();
    r->base = std::make_unique<RecoveredBase>();
    setMessageBasePath(*r->base, path);
    r->base->passThreads = threads;
    r->base->progress = &r->progress;
    openMessageBase(*r->base);
    return r;
}

auto rowOf(const ItemSummary& s) {
    return std::tie(s.fromText, s.toText, s.subjectText, s.dateText, s.sortTime, s.utcTime,
                    s.attachmentCount, s.deletedMark, s.hiddenCode, s.kind, s.number, s.bodyText,
                    s.bodyFormat, s.bodyLength, s.bodyRef.position, s.bodyRef.length,
                    s.bodyRef.type, s.bodyCodepage, s.attachmentNames, s.bodyFromRtf, s.rtfDamaged,
                    s.associated);
}

auto entryOf(const MessageNodeEntry& e) {
    std::vector<std::tuple<std::uint32_t, BlockIndex, std::uint32_t, BlockIndex>> subnodes;
    for (const SubnodeEntry& s : e.subnodes)
        subnodes.emplace_back(s.nodeId, s.dataIndex, s.ownerNodeId, s.ownerDataIndex);
    return std::make_tuple(e.nodeId, e.dataIndex, e.subnodeIndex, e.parentNodeId, e.reachable,
                           e.attachmentCount, e.loadFailed, e.source, subnodes);
}

// Everything loading the items leaves behind, and the milestones on the way, are the same.
void expectSameRun(const Recovered& one, const Recovered& other) {
    const RecoveredBase &a = *one.base, &b = *other.base;
    EXPECT_EQ(a.resultOk, b.resultOk);
    EXPECT_EQ(a.errorCode, b.errorCode);
    ASSERT_EQ(a.itemCount, b.itemCount);
    EXPECT_EQ(a.summaryCounter, b.summaryCounter);
    EXPECT_EQ(a.keptBodyBytes, b.keptBodyBytes);
    EXPECT_TRUE(a.dropped == b.dropped);
    for (std::size_t k = 0; k < static_cast<std::size_t>(DamageKind::Count); ++k) {
        const auto kind = static_cast<DamageKind>(k);
        EXPECT_EQ(a.damage.count(kind), b.damage.count(kind)) << damageKindName(kind);
        EXPECT_EQ(a.damage.firstOffsets(kind), b.damage.firstOffsets(kind));
    }
    for (std::uint32_t i = 0; i < a.itemCount; ++i) {
        EXPECT_EQ(entryOf(a.messageEntries[i]), entryOf(b.messageEntries[i])) << "item " << i;
        EXPECT_EQ(rowOf(a.itemSummaries[i]), rowOf(b.itemSummaries[i])) << "item " << i;
    }
    for (int slot = 0; slot < ProgressMilestones::kSlots; ++slot)
        EXPECT_EQ(one.progress.value(slot), other.progress.value(slot)) << "slot " << slot;
}

TEST(ParallelRecoveryPass, FourThreadsLeaveWhatOneLeaves) {
    // A generated file with deleted and orphaned items, whose every seventh item lost its data.
    test::TempDir dir;
    const std::string damaged = (dir.path() / "damaged.pst").string();
    test::writeSample(damaged, 300, 60, 30);
    Bytes image = test::readFileBytes(damaged);
    {
        const auto healthy = recoverFile(damaged, 1);
        const RecoveredBase& b = *healthy->base;
        for (std::uint32_t i = 0; i < b.itemCount; i += 7)
            if (b.messageEntries[i].source == ItemSource::Index)
                test::zeroRange(image, b.blockTable[b.messageEntries[i].dataIndex].fileOffset, 64);
    }
    std::ofstream(damaged, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));

    std::vector<std::string> files{damaged};
    for (const std::string& path : test::corpusPstFiles())
        files.push_back(path);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const auto one = recoverFile(path, 1);
        const auto four = recoverFile(path, 4);
        expectSameRun(*one, *four);
        if (path == damaged) {
            EXPECT_GT(one->base->damage.count(DamageKind::ItemNotLoaded), kDamageOffsetsKept);
            EXPECT_GT(one->base->dropped.orphanGroups, 0u);
        }
    }
}

TEST(ParallelRecoveryPass, AStopEndsItAtOnceAndTheNextRunStartsAfresh) {
    using namespace std::chrono_literals;
    test::TempDir dir;
    const std::string path = (dir.path() / "large.pst").string();
    test::writeSample(path, 1200);
    const Bytes image = test::readFileBytes(path);
    RecoveredBase b;
    b.attachSource(test::slowSource(image, 100us));
    b.passThreads = 4;
    ProgressMilestones progress;
    b.progress = &progress;
    std::thread run([&] { openMessageBase(b); });
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (progress.highestReached(milestone::kMessagesGrouped + 1) <=
               milestone::kMessagesGrouped &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    const auto asked = std::chrono::steady_clock::now();
    b.requestStop();
    run.join();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
    EXPECT_EQ(b.resultOk, 0);
    EXPECT_EQ(progress.value(milestone::kMessagesLoaded), 0u);

    // Run again on the same base, as the desktop program does after a stop.
    b.stopRequested = false;
    b.attachSource(std::make_unique<MemorySource>(image));
    openMessageBase(b);
    const auto fresh = recoverFile(path, 1);
    ASSERT_EQ(b.resultOk, 1);
    EXPECT_EQ(b.summaryCounter, fresh->base->summaryCounter);
    EXPECT_EQ(b.keptBodyBytes, fresh->base->keptBodyBytes);
    for (std::uint32_t i = 0; i < b.itemCount; ++i)
        EXPECT_EQ(b.itemSummaries[i].number, fresh->base->itemSummaries[i].number);
}

}  // namespace
}  // namespace brevik

namespace brevik {
namespace {

// The sample's live, deleted and orphaned items, written in a layout.
Bytes sampleImage(bool pages4k) {
    test::TempDir dir;
    pst::SampleOptions options;
    options.items = 24;
    options.deleted = 3;
    options.orphans = 2;
    options.seed = 11;
    options.pages4k = pages4k;
    const std::string path = (dir.path() / "sample").string();
    EXPECT_TRUE(pst::generateSamplePst(path, options).ok());
    return test::readFileBytes(path);
}

// Each item as its subject, deleted mark and body (read again through its locator).
std::multiset<std::string> itemsWithBodies(RecoveredBase& b) {
    std::multiset<std::string> out;
    for (std::uint32_t i = 0; i < b.itemCount; ++i) {
        const ItemSummary& s = b.itemSummaries[i];
        if (b.messageEntries[i].loadFailed) continue;
        out.insert(s.subjectText + (s.deletedMark ? " (deleted) " : " ") + itemBody(b, s));
    }
    return out;
}

std::unique_ptr<Recovered> recoverWithoutBodyCopies(const Bytes& image) {
    auto r = std::make_unique<Recovered>();
    r->base = test::openImage(image);
    r->base->keepBodyCopies = false;
    openMessageBase(*r->base);
    return r;
}

TEST(RecoveryPass4k, RecoversWhatTheUnicodeLayoutDoesAlsoWithoutItsHeader) {
    const auto unicode = recoverWithoutBodyCopies(sampleImage(false));
    Bytes image = sampleImage(true);
    const auto pages4k = recoverWithoutBodyCopies(image);
    ASSERT_EQ(pages4k->base->resultOk, 1) << pages4k->base->errorText;
    EXPECT_TRUE(pages4k->base->has4kPages());
    EXPECT_EQ(pages4k->base->itemCount, 29u);
    const auto expected = itemsWithBodies(*unicode->base);
    EXPECT_EQ(itemsWithBodies(*pages4k->base), expected);
    EXPECT_EQ(pages4k->base->folderCount, unicode->base->folderCount);

    // The layout, the page size and the encoding come from the pages and blocks alone.
    std::fill(image.begin(), image.begin() + 4096, 0);
    const auto headless = recoverWithoutBodyCopies(image);
    ASSERT_EQ(headless->base->resultOk, 1) << headless->base->errorText;
    EXPECT_TRUE(headless->base->has4kPages());
    EXPECT_EQ(itemsWithBodies(*headless->base), expected);
}

// Flips the sizes in the block index entry of `bid` (24-byte entries of 4 KiB leaf pages).
void setInflatedSize(Bytes& image, std::uint64_t bid, std::uint16_t size) {
    const ndb::PageLayout L = ndb::PageLayout::unicode4k();
    for (std::size_t p = 0; p + L.pageSize <= image.size(); p += L.pageSize) {
        const std::uint8_t* page = image.data() + p;
        if (page[L.trailerPos] != ndb::kBlockBTree || page[L.levelFieldPos + 1] != 0) continue;
        for (std::uint32_t j = 0; j < load16(page + L.entryCountPos); ++j)
            if (load64(page + j * 24) == bid) store16(image.data() + p + j * 24 + 18, size);
    }
}

TEST(RecoveryPass4k, ABlockThatDoesNotInflateToItsSizeCostsOnlyItsItemAndIsReported) {
    Bytes image = sampleImage(true);
    const auto healthy = recover(image);
    ASSERT_EQ(healthy->base->resultOk, 1);
    // Two items' deflated data blocks: one states a size one byte too large, one more than the
    // largest block holds.
    std::vector<std::uint32_t> damaged;
    for (std::uint32_t i = 0; i < healthy->base->itemCount && damaged.size() < 2; ++i) {
        const BlockEntry& e = healthy->base->blockTable[healthy->base->messageEntries[i].dataIndex];
        if (e.inflatedCount == e.byteCount || !healthy->base->messageEntries[i].reachable) continue;
        setInflatedSize(image, e.blockId, damaged.empty() ? e.inflatedCount + 1 : 0xFFFF);
        damaged.push_back(healthy->base->messageEntries[i].nodeId);
    }
    ASSERT_EQ(damaged.size(), 2u);
    // A third item keeps its own data but loses a part: a deflated block of one of its subnodes.
    std::uint32_t partLost = 0;
    for (std::uint32_t i = 0; i < healthy->base->itemCount && !partLost; ++i) {
        const MessageNodeEntry& m = healthy->base->messageEntries[i];
        if (!m.reachable || std::find(damaged.begin(), damaged.end(), m.nodeId) != damaged.end())
            continue;
        for (const SubnodeEntry& sub : m.subnodes) {
            const BlockEntry& e = healthy->base->blockTable[sub.dataIndex];
            if (e.inflatedCount == e.byteCount || (e.blockId & ndb::kInternalBlockBit)) continue;
            setInflatedSize(image, e.blockId, e.inflatedCount + 1);
            partLost = m.nodeId;
            break;
        }
    }
    ASSERT_NE(partLost, 0u);
    const auto r = recover(image);
    ASSERT_EQ(r->base->resultOk, 1) << r->base->errorText;
    EXPECT_EQ(r->base->damage.count(DamageKind::DeflatedBlocks), 3u);
    bool marked = false;
    for (const DamagedItem& d : r->base->damagedItems)
        marked |= r->base->messageEntries[d.item].nodeId == partLost;
    EXPECT_TRUE(marked);
    // Those two items are left only as their rows in the folder's table; the others load.
    std::uint32_t loaded = 0;
    for (std::uint32_t i = 0; i < r->base->itemCount; ++i) {
        const MessageNodeEntry& m = r->base->messageEntries[i];
        const bool hit = std::find(damaged.begin(), damaged.end(), m.nodeId) != damaged.end();
        EXPECT_EQ(m.source == ItemSource::TableRow, hit) << m.nodeId;
        loaded += !m.loadFailed && m.source == ItemSource::Index;
    }
    EXPECT_EQ(loaded, healthy->base->itemCount - 2);
    EXPECT_TRUE(r->base->damage.dataLost());
}

}  // namespace
}  // namespace brevik
