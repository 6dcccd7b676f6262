// The item, folder and named-property tables that a recovery pass leaves in a MessageBase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/index_entries.h"

namespace brevik {

struct MessageRecord;  // message/records.h

// How an item was found: through a node index entry (live or stale by `reachable`), from its data
// block alone, or from a row of its folder's contents table alone.
enum class ItemSource : std::uint8_t { Index, DataAlone, TableRow };

// One kept item node; an item is named everywhere by its index in `messageEntries`. Small
// fields sit together: a base holds one entry per item.
struct MessageNodeEntry {
    std::uint32_t nodeId = 0;
    BlockIndex dataIndex = kNoBlock;
    BlockIndex subnodeIndex = kNoBlock;
    std::uint32_t parentNodeId = 0;
    std::shared_ptr<MessageRecord> record;  // set only while the item is loaded
    std::vector<SubnodeEntry> subnodes;
    std::uint32_t attachmentCount = 0;
    std::uint8_t reachable = 0;
    std::uint8_t loadFailed = 0;
    ItemSource source = ItemSource::Index;
};

// "live index", "stale index", "data alone" or "table row".
const char* itemSourceName(const MessageNodeEntry& entry);
// The same as a slot: 0 live index, 1 stale index, 2 data alone, 3 table row.
inline constexpr std::size_t kItemSourceSlots = 4;
std::size_t itemSourceSlot(const MessageNodeEntry& entry);
// The name of a slot.
const char* itemSourceSlotName(std::size_t slot);

// One kept folder node, or an orphan group (items whose parent folder is missing).
struct FolderEntry {
    std::uint32_t itemCount = 0;
    std::uint32_t nodeId = 0;  // for an orphan group: the missing parent's id
    BlockIndex dataIndex = 0;  // 0 for an orphan group
    std::uint32_t parentNodeId = 0;
    std::uint8_t reachable = 0;
    std::uint32_t firstItem = 0;
    std::uint32_t endItem = 0;
    std::shared_ptr<MessageRecord> record;  // its display name is what the tree shows
    bool orphanGroup = false;
    bool hidden = false;  // marked hidden in the store (PR_ATTR_HIDDEN): a system folder
};

// One record of the name-to-id map ([MS-PST] NAMEID).
struct NamedPropertyEntry {
    std::uint32_t numericId = 0;
    std::uint32_t guidWord = 0;    // bit 0 set: the name is a string
    std::uint32_t propertyId = 0;  // 0x8000 + the record's property index
    std::string name;              // string names only, UTF-8
};

}  // namespace brevik
