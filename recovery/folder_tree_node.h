// One node of a base's folder tree; the views start at the base's `topNode`.
#pragma once

#include <cstdint>

namespace brevik {

struct FolderTreeNode {
    std::uint32_t folderIndex = 0;  // index in `folderEntries`
    FolderTreeNode* parent = nullptr;
    FolderTreeNode* firstChild = nullptr;
    FolderTreeNode* lastChild = nullptr;
    FolderTreeNode* nextSibling = nullptr;
    std::uintptr_t viewHandle = 0;  // written by the views
};

}  // namespace brevik
