// A message base with what a recovery pass built on it: the engine's record of the file and its
// tables, the message layer's summary rows, and the folder tree. The shell, the command line and
// the saves hold bases as this record; the engine and the message layer see its parts.
#pragma once

#include <deque>
#include <unordered_map>

#include "engine/message_base.h"
#include "message/item_damage.h"
#include "message/item_summary.h"
#include "message/property_value.h"
#include "recovery/folder_tree_node.h"

namespace brevik {

class RecoveredBase : public MessageBase, public SummaryRows {
  public:
    RecoveredBase() = default;

    SummaryRows& rows() { return *this; }
    const SummaryRows& rows() const { return *this; }

    std::deque<FolderTreeNode> treeNodes;  // owns every tree node; deque keeps them in place
    FolderTreeNode* rootNode = nullptr;
    FolderTreeNode* topNode = nullptr;
    // The contents-table rows that items found only as rows were rebuilt from, by node id:
    // what a save writes for them.
    std::unordered_map<std::uint32_t, PropertyRow> tableRowValues;
    // Readable items some of whose blocks failed their checks, by item index, ascending.
    std::vector<DamagedItem> damagedItems;
    // The folder the store names as the top of its mailbox (PR_IPM_SUBTREE_ENTRYID), 0 if none.
    std::uint32_t ipmSubtreeId = 0;
    // The tree starts at the mailbox's top and the folders outside it, and hidden ones, are
    // system folders: shown only on request (from `rootNode`, see FolderTreeNode::system).
    bool systemFoldersHidden = false;

    // Also frees the rows and the tree (reset() calls it too).
    void release() override;
};

}  // namespace brevik
