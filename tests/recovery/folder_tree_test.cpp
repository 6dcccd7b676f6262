#include "recovery/folder_tree.h"

#include <gtest/gtest.h>

#include "message/item_summary.h"
#include "message/records.h"

namespace brevik {
namespace {

class FolderTreeTest : public ::testing::Test {
  protected:
    // Adds a folder; `items` ordinary messages (kind 200) of its own follow the earlier ones.
    void folder(std::uint32_t id, std::uint32_t parent, const char* name, std::uint32_t items = 0,
                std::uint8_t kind = 200) {
        FolderEntry f;
        f.nodeId = id;
        f.parentNodeId = parent;
        f.record = makeFolderRecord();
        if (name) f.record->displayName = name;
        f.firstItem = static_cast<std::uint32_t>(base.itemSummaries.size());
        for (std::uint32_t i = 0; i < items; ++i) {
            base.itemSummaries.emplace_back();
            base.itemSummaries.back().kind = kind;
        }
        f.endItem = static_cast<std::uint32_t>(base.itemSummaries.size());
        f.itemCount = items;
        base.folderEntries.push_back(std::move(f));
        base.folderCount = static_cast<std::uint32_t>(base.folderEntries.size());
    }
    std::vector<std::string> childNames(const FolderTreeNode* n) {
        std::vector<std::string> out;
        for (const FolderTreeNode* c = n->firstChild; c; c = c->nextSibling)
            out.emplace_back(folderName(base, c->folderIndex));
        return out;
    }
    std::string name(const FolderTreeNode* n) {
        return std::string(folderName(base, n->folderIndex));
    }
    RecoveredBase base;
};

TEST_F(FolderTreeTest, HealthyFileStartsAtTheTopOfPersonalFolders) {
    folder(0x122, 0x122, "");
    folder(0x8022, 0x122, "Top of Outlook data file");
    folder(0x8062, 0x8022, "Sent Items", 2);
    folder(0x8082, 0x8022, "Inbox", 3);
    folder(0x80A2, 0x122, "Search Root");
    buildFolderTree(base);
    ASSERT_NE(base.rootNode, nullptr);
    EXPECT_EQ(base.folderEntries[base.rootNode->folderIndex].nodeId, 0x122u);
    ASSERT_NE(base.topNode, base.rootNode);
    EXPECT_EQ(name(base.topNode), "Top of Outlook data file");
    EXPECT_EQ(childNames(base.topNode), (std::vector<std::string>{"Inbox", "Sent Items"}));
}

TEST_F(FolderTreeTest, TheNamedTopFolderWinsAndMailFoldersOfTheRootAreShownAgain) {
    folder(0x122, 0x122, "Root", 1);
    folder(0x8022, 0x122, "Top of Personal Folders");
    folder(0x8042, 0x8022, "Inbox");
    folder(0x8062, 0x122, "Stray mail", 2);
    folder(0x8082, 0x122, "Stray notes", 2, 104);
    buildFolderTree(base);
    EXPECT_EQ(name(base.topNode), "Top of Personal Folders");
    EXPECT_EQ(childNames(base.topNode), (std::vector<std::string>{"Inbox", "Root", "Stray mail"}));
}

TEST_F(FolderTreeTest, AnotherMailFolderBesideTheSubtreeKeepsTheRootAsTop) {
    folder(0x122, 0x122, "Root");
    folder(0x8022, 0x122, "Personal");
    folder(0x8042, 0x8022, "Inbox");
    folder(0x8062, 0x122, "Elsewhere", 1);
    buildFolderTree(base);
    EXPECT_EQ(base.topNode, base.rootNode);
}

TEST_F(FolderTreeTest, OrphansHangBelowTheTopAndNamesSortIgnoringCase) {
    folder(0x122, 0x122, "Root");
    folder(0x8022, 0x122, "Top of Personal Folders");
    folder(0x8042, 0x8022, "inbox");
    folder(0x8062, 0x8022, "Inbox");
    folder(0x8082, 0x8022, "Archive");
    folder(0x9999, 0, "Lost and Found", 2);  // an orphan group: its parent is missing
    buildFolderTree(base);
    EXPECT_EQ(childNames(base.topNode),
              (std::vector<std::string>{"Archive", "inbox", "Inbox", "Lost and Found"}));
    EXPECT_EQ(findTreeNode(base, base.rootNode, 0x9999)->parent, base.topNode);
    EXPECT_EQ(findTreeNode(base, base.rootNode, 0x1234), nullptr);
}

TEST_F(FolderTreeTest, ChildrenSeenBeforeTheirParentAreAdopted) {
    folder(0x8042, 0x8062, "Child");
    folder(0x8062, 0x122, "Parent");
    folder(0x122, 0x122, "Root");
    buildFolderTree(base);
    ASSERT_EQ(name(base.rootNode), "Root");
    EXPECT_EQ(childNames(base.rootNode), std::vector<std::string>{"Parent"});
    EXPECT_EQ(childNames(base.rootNode->firstChild), std::vector<std::string>{"Child"});
}

TEST_F(FolderTreeTest, FoldersThatNameEachOtherAsParentsDoNotFormACycle) {
    folder(0x8042, 0x8062, "A");
    folder(0x8062, 0x8042, "B");
    folder(0x8082, 0x8082, "Self");
    buildFolderTree(base);
    ASSERT_NE(base.rootNode, nullptr);
    // Every walk ends: count nodes reachable from the root's forest through the top node.
    std::size_t seen = 0;
    for (FolderTreeNode* n = base.rootNode; n && seen < 100; ++seen) {
        if (n->firstChild) {
            n = n->firstChild;
            continue;
        }
        while (n && !n->nextSibling)
            n = n->parent;
        if (n) n = n->nextSibling;
    }
    EXPECT_LT(seen, 100u);
    EXPECT_EQ(findTreeNode(base, base.rootNode, 0x4242), nullptr);
}

TEST_F(FolderTreeTest, NoFolderGivesNoTree) {
    buildFolderTree(base);
    EXPECT_EQ(base.rootNode, nullptr);
    EXPECT_EQ(base.topNode, nullptr);
}

}  // namespace
}  // namespace brevik

namespace brevik {
namespace {

TEST_F(FolderTreeTest, AMailboxStartsAtItsTopAndTheStoresOwnFoldersAreSystemFolders) {
    // An offline file: a nameless root holding the mailbox's root and a public one; the user's
    // folders below the mailbox's top, which the store names.
    folder(0x122, 0x122, "Lost and Found");
    folder(0x8122, 0x122, "Root - Mailbox");
    folder(0x8142, 0x122, "Root - Public");
    folder(0x8162, 0x8122, "Finder", 1);
    folder(0x8182, 0x8122, "Top of Information Store");
    folder(0x81A2, 0x8182, "Inbox", 2);
    folder(0x81C2, 0x8182, "Sync Issues");
    base.folderEntries.back().hidden = true;
    folder(0x81E2, 0x81C2, "Conflicts");
    folder(0x8202, 0x4242, "Lost and Found_1", 1);  // items whose folder is gone
    base.ipmSubtreeId = 0x8182;
    buildFolderTree(base);
    EXPECT_EQ(name(base.topNode), "Top of Information Store");
    EXPECT_TRUE(base.systemFoldersHidden);
    EXPECT_EQ(childNames(base.topNode),
              (std::vector<std::string>{"Inbox", "Lost and Found_1", "Sync Issues"}));
    std::vector<std::string> system;
    for (const FolderTreeNode& n : base.treeNodes)
        if (n.system) system.push_back(name(&n));
    std::sort(system.begin(), system.end());
    EXPECT_EQ(system, (std::vector<std::string>{"Conflicts", "Finder", "Lost and Found",
                                                "Root - Mailbox", "Root - Public", "Sync Issues"}));
    base.itemCount = static_cast<std::uint32_t>(base.itemSummaries.size());
    EXPECT_EQ(itemsInSystemFolders(base), (std::vector<std::uint8_t>{1, 0, 0, 0}));

    // Without the store's word the top is found by the name offline files give it; a file
    // whose root has the usual top keeps the rule it always had.
    base.ipmSubtreeId = 0;
    base.folderEntries[4].record->displayName = "IPM_SUBTREE";
    buildFolderTree(base);
    EXPECT_EQ(name(base.topNode), "IPM_SUBTREE");
    base.ipmSubtreeId = 0x8182;
    base.folderEntries[1].nodeId = 0x8022;
    base.folderEntries[3].parentNodeId = base.folderEntries[4].parentNodeId = 0x8022;
    buildFolderTree(base);
    EXPECT_EQ(name(base.topNode), "Root - Mailbox");
    EXPECT_FALSE(base.systemFoldersHidden);
}

}  // namespace
}  // namespace brevik
