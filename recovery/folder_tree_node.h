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
    // Outside the mailbox's top folder, or hidden by the store, or below such a folder: shown
    // only when system folders are asked for (`list --all`, View > Show system folders).
    bool system = false;
};

}  // namespace brevik
