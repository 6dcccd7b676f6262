#include "recovery/folder_tree.h"

#include <strings.h>
#include <list>
#include <unordered_map>
#include <vector>

#include "engine/ndb_format.h"
#include "message/class_prefix.h"
#include "message/item_summary.h"
#include "message/records.h"

namespace brevik {
namespace {

// The top of the personal folders in a healthy file.
constexpr std::uint8_t kOrdinaryMessageKind = 200;

int compareNames(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    const int c = ::strncasecmp(a.data(), b.data(), n);
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

const FolderEntry& folderOf(const RecoveredBase& base, const FolderTreeNode* node) {
    return base.folderEntries[node->folderIndex];
}

bool isAncestorOrSelf(const FolderTreeNode* candidate, const FolderTreeNode* node) {
    for (const FolderTreeNode* p = node; p; p = p->parent)
        if (p == candidate) return true;
    return false;
}

// The top of the mailbox below `root`: the folder the store names, else (a store whose own node
// is lost) one named as offline files name it, at most two levels down. It must have folders.
FolderTreeNode* mailboxTop(const RecoveredBase& base, FolderTreeNode* root) {
    if (base.ipmSubtreeId != 0) {
        FolderTreeNode* named = nullptr;
        for (FolderTreeNode* c = root->firstChild; c && !named; c = c->nextSibling)
            named = findTreeNode(base, c, base.ipmSubtreeId);
        if (named && named->firstChild) return named;
    }
    constexpr std::string_view kIpmSubtreeName = "IPM_SUBTREE";
    for (FolderTreeNode* c = root->firstChild; c; c = c->nextSibling) {
        if (compareNames(folderName(base, c->folderIndex), kIpmSubtreeName) == 0 && c->firstChild)
            return c;
        for (FolderTreeNode* g = c->firstChild; g; g = g->nextSibling)
            if (compareNames(folderName(base, g->folderIndex), kIpmSubtreeName) == 0 &&
                g->firstChild)
                return g;
    }
    return nullptr;
}

// Marks the system folders: with the tree at the mailbox's top, every folder outside it; and in
// any tree the folders the store hides, with everything below them.
void markSystemFolders(RecoveredBase& base) {
    for (FolderTreeNode& n : base.treeNodes) {
        bool inside = !base.systemFoldersHidden;
        for (const FolderTreeNode* p = &n; p; p = p->parent) {
            if (base.folderEntries[p->folderIndex].hidden) n.system = true;
            if (p == base.topNode) {
                inside = true;
                break;
            }
        }
        if (!inside) n.system = true;
    }
}

FolderTreeNode* newNode(RecoveredBase& base, std::uint32_t folderIndex) {
    base.treeNodes.emplace_back();
    base.treeNodes.back().folderIndex = folderIndex;
    return &base.treeNodes.back();
}

}  // namespace

std::string_view folderName(const RecoveredBase& base, std::uint32_t folderIndex) {
    if (folderIndex >= base.folderEntries.size()) return {};
    const auto& record = base.folderEntries[folderIndex].record;
    if (!record || !record->displayName) return {};
    return *record->displayName;
}

std::vector<std::uint8_t> itemsInSystemFolders(const RecoveredBase& base) {
    std::vector<std::uint8_t> out(base.itemCount, 0);
    for (const FolderTreeNode& n : base.treeNodes) {
        if (!n.system || n.folderIndex >= base.folderEntries.size()) continue;
        const FolderEntry& f = base.folderEntries[n.folderIndex];
        for (std::uint32_t i = f.firstItem; i < f.endItem && i < out.size(); ++i)
            out[i] = 1;
    }
    return out;
}

bool folderHoldsMail(const RecoveredBase& base, std::uint32_t folderIndex) {
    if (folderIndex >= base.folderEntries.size()) return false;
    const FolderEntry& f = base.folderEntries[folderIndex];
    if (f.itemCount == 0) return false;
    for (std::uint32_t i = f.firstItem; i < f.endItem && i < base.itemSummaries.size(); ++i)
        if (base.itemSummaries[i].kind == kOrdinaryMessageKind) return true;
    return false;
}

void insertChildSorted(const RecoveredBase& base, FolderTreeNode* p, FolderTreeNode* q) {
    q->parent = p;
    q->nextSibling = nullptr;
    if (!p->firstChild) {
        p->firstChild = p->lastChild = q;
        return;
    }
    const std::string_view name = folderName(base, q->folderIndex);
    // Children usually arrive in order: append without a walk when the last one is not greater.
    if (compareNames(folderName(base, p->lastChild->folderIndex), name) <= 0) {
        p->lastChild->nextSibling = q;
        p->lastChild = q;
        return;
    }
    FolderTreeNode* prev = nullptr;
    FolderTreeNode* c = p->firstChild;
    while (c && compareNames(folderName(base, c->folderIndex), name) <= 0) {
        prev = c;
        c = c->nextSibling;
    }
    q->nextSibling = c;
    if (prev)
        prev->nextSibling = q;
    else
        p->firstChild = q;
}

FolderTreeNode* findTreeNode(const RecoveredBase& base, FolderTreeNode* start,
                             std::uint32_t nodeId) {
    FolderTreeNode* p = start;
    while (p) {
        if (folderOf(base, p).nodeId == nodeId) return p;
        if (p->firstChild) {
            p = p->firstChild;
            continue;
        }
        // Climb to the next unvisited sibling, never above the start node.
        while (p && p != start && !p->nextSibling)
            p = p->parent;
        if (!p || p == start) return nullptr;
        p = p->nextSibling;
    }
    return nullptr;
}

void buildFolderTree(RecoveredBase& base) {
    base.treeNodes.clear();
    base.rootNode = base.topNode = nullptr;
    const std::uint32_t count = std::min<std::uint32_t>(
        base.folderCount, static_cast<std::uint32_t>(base.folderEntries.size()));
    if (count == 0) return;

    std::list<FolderTreeNode*> forest;
    // Forest roots by the parent id their folder names, so adoption needs no walk of the forest.
    std::unordered_multimap<std::uint32_t, std::list<FolderTreeNode*>::iterator> rootsByParent;
    // Every node by its folder's id: a lookup is a hash probe unless the id is shared.
    std::unordered_map<std::uint32_t, std::vector<FolderTreeNode*>> nodesById;

    auto findInForest = [&](std::uint32_t id) -> FolderTreeNode* {
        auto it = nodesById.find(id);
        if (it == nodesById.end()) return nullptr;
        if (it->second.size() == 1) return it->second.front();
        for (FolderTreeNode* root : forest)
            if (FolderTreeNode* n = findTreeNode(base, root, id)) return n;
        return nullptr;
    };

    for (std::uint32_t k = 0; k < count; ++k) {
        FolderTreeNode* node = newNode(base, k);
        const FolderEntry& f = base.folderEntries[k];
        if (FolderTreeNode* parent = findInForest(f.parentNodeId)) {
            insertChildSorted(base, parent, node);
        } else {
            auto pos = forest.insert(forest.end(), node);
            rootsByParent.emplace(f.parentNodeId, pos);
        }
        nodesById[f.nodeId].push_back(node);

        // Adopt the forest roots waiting for this folder, in forest order.
        auto [lo, hi] = rootsByParent.equal_range(f.nodeId);
        std::vector<std::list<FolderTreeNode*>::iterator> waiting;
        for (auto it = lo; it != hi; ++it)
            waiting.push_back(it->second);
        std::vector<std::list<FolderTreeNode*>::iterator> kept;
        for (auto pos : waiting) {
            FolderTreeNode* root = *pos;
            const FolderEntry& rf = folderOf(base, root);
            if (rf.nodeId == rf.parentNodeId || isAncestorOrSelf(root, node)) {
                kept.push_back(pos);
                continue;
            }
            insertChildSorted(base, node, root);
            forest.erase(pos);
        }
        rootsByParent.erase(f.nodeId);
        for (auto pos : kept)
            rootsByParent.emplace(f.nodeId, pos);
    }
    if (forest.empty()) return;

    FolderTreeNode* root = forest.front();
    for (FolderTreeNode* r : forest) {
        const FolderEntry& rf = folderOf(base, r);
        if (rf.nodeId == rf.parentNodeId) {
            root = r;
            break;
        }
    }
    base.rootNode = base.topNode = root;

    const std::string topName = classPrefixString(26).value_or("");
    for (FolderTreeNode* c = root->firstChild; c; c = c->nextSibling) {
        if (c->firstChild && !topName.empty() &&
            compareNames(folderName(base, c->folderIndex), topName) == 0) {
            base.topNode = c;
            break;
        }
    }
    FolderTreeNode* candidate = nullptr;
    if (base.topNode == root) {
        for (FolderTreeNode* c = root->firstChild; c; c = c->nextSibling)
            if (folderOf(base, c).nodeId == ndb::kNidIpmSubtree && c->firstChild) {
                candidate = c;
                break;
            }
        if (candidate) {
            bool otherHoldsMail = false;
            for (FolderTreeNode* c = root->firstChild; c && !otherHoldsMail; c = c->nextSibling)
                otherHoldsMail = c != candidate && folderHoldsMail(base, c->folderIndex);
            if (!otherHoldsMail) base.topNode = candidate;
        }
    }

    // An offline file's root holds the mailbox's own root and others beside it, and the user's
    // folders lie further down; the rest is the store's. A personal folders file whose top is
    // not where the steps above look would otherwise show its mailbox below a nameless root.
    base.systemFoldersHidden = false;
    if (base.topNode == root && !candidate) {
        if (FolderTreeNode* top = mailboxTop(base, root)) {
            base.topNode = top;
            base.systemFoldersHidden = true;
        }
    }

    for (FolderTreeNode* r : forest)
        if (r != root) insertChildSorted(base, base.topNode, r);

    if (base.topNode != root && !base.systemFoldersHidden) {
        if (folderHoldsMail(base, root->folderIndex))
            insertChildSorted(base, base.topNode, newNode(base, root->folderIndex));
        std::vector<std::uint32_t> extra;
        for (FolderTreeNode* c = root->firstChild; c; c = c->nextSibling)
            if (c != base.topNode && folderHoldsMail(base, c->folderIndex))
                extra.push_back(c->folderIndex);
        for (std::uint32_t index : extra)
            insertChildSorted(base, base.topNode, newNode(base, index));
    }
    markSystemFolders(base);
}

}  // namespace brevik
