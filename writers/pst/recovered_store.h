// Turns what a recovery pass found in a message base into writer input, and writes it: the
// recovered folder tree, and for every item all of its properties, recipients, attachments and
// embedded messages as read from the source file.
//
// Placement: every item goes to the folder it was recovered into, as the folder tree shows it.
// Deleted items (found on stale index pages) are written as ordinary items of the folder they
// were found in; items whose folder is gone sit in the orphan-group folder the recovery made for
// them ("Lost and Found" and so on), which is written as a folder of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "recovery/recovered_base.h"
#include "writers/pst/store_model.h"
#include "writers/pst/write_status.h"

namespace brevik::pst {

// The source's named properties as a writer table, and the source id of each.
struct RecoveredNames {
    std::vector<NamedProperty> table;                       // model id 0x8000 + index
    std::unordered_map<std::uint32_t, std::uint16_t> byId;  // source property id -> model id
};
RecoveredNames recoveredNames(const RecoveredBase& base);

// Writer input for item `itemIndex`, read completely from the source file. Empty when its
// property context cannot be read. `dropped` counts values that could not be carried over.
std::optional<Item> recoveredItem(RecoveredBase& base, std::uint32_t itemIndex,
                                  const RecoveredNames& names, std::uint64_t* dropped = nullptr);

// About how many bytes of memory `item` holds.
std::uint64_t heldBytes(const Item& item);

// Tree nodes from `start` down in pre-order, each once (null: none).
std::vector<FolderTreeNode*> folderPreorder(FolderTreeNode* start);
// The item indexes [first, end) a tree node's folder holds, clamped to `itemCount`.
std::pair<std::uint32_t, std::uint32_t> folderItemRange(const RecoveredBase& base,
                                                        const FolderTreeNode* n,
                                                        std::uint32_t itemCount);
// The nodes of `order` that hold a wanted item or lead to one (every node when `all`).
std::unordered_set<const FolderTreeNode*> foldersLeadingTo(
    const RecoveredBase& base, const std::vector<FolderTreeNode*>& order,
    const std::vector<bool>& wanted, bool all);

// The wanted items in the order a save writes them: each once, in the first folder of `order`
// in `needed` that holds it, then those no such folder holds.
std::vector<std::uint32_t> writeSequence(const RecoveredBase& base,
                                         const std::vector<FolderTreeNode*>& order,
                                         const std::unordered_set<const FolderTreeNode*>& needed,
                                         const std::vector<bool>& wanted);

struct RecoveredWriteOptions {
    const std::vector<std::uint32_t>* selectedItems = nullptr;  // item indexes; null: all
    const std::atomic<bool>* stop = nullptr;
    std::function<void(int)> progress;  // 0..100
    std::string tempFolder;             // working file; empty: beside the destination
    bool permute = true;
    std::uint64_t maxFileBytes = 0;
    unsigned threads = 0;  // for reading items ahead of the writer; 0: one per core
};

struct RecoveredWriteResult {
    WriteStatus status;
    std::uint64_t items = 0;              // written
    std::uint64_t unreadableItems = 0;    // whose properties could not be read
    std::uint64_t skippedSelections = 0;  // selected indexes that name no item
    std::uint64_t droppedValues = 0;      // not carried over: unreadable, or invalid for the file
    std::uint64_t folders = 0;
};

// Writes the recovered base to `destination` (atomically).
RecoveredWriteResult writeRecoveredStore(RecoveredBase& base, const std::string& destination,
                                         const RecoveredWriteOptions& options);

}  // namespace brevik::pst
