// Links a base's folders into a name-ordered tree and chooses where the views start.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "recovery/recovered_base.h"

namespace brevik {

// Builds the tree from `folderEntries` [0, folderCount) and `itemSummaries`; sets `rootNode`
// and `topNode` (both null when there is no folder). Folders whose parent is missing hang below
// the top node; a folder is never placed below one of its own descendants.
void buildFolderTree(RecoveredBase& base);

// The first node in depth-first pre-order from `start` whose folder has node id `nodeId`.
FolderTreeNode* findTreeNode(const RecoveredBase& base, FolderTreeNode* start,
                             std::uint32_t nodeId);

// Links `child` below `parent` after every child whose name compares lower or equal, ignoring
// letter case.
void insertChildSorted(const RecoveredBase& base, FolderTreeNode* parent, FolderTreeNode* child);

// The display name of a folder entry ("" when it has none).
std::string_view folderName(const RecoveredBase& base, std::uint32_t folderIndex);

// Per item index: 1 when the item lies in a system folder (FolderTreeNode::system), which is
// shown only when system folders are asked for.
std::vector<std::uint8_t> itemsInSystemFolders(const RecoveredBase& base);

// True when the folder has at least one ordinary message (kind 200) among its items.
bool folderHoldsMail(const RecoveredBase& base, std::uint32_t folderIndex);

}  // namespace brevik
