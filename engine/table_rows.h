// Items kept only in a folder's contents table: when an item's own node entry or data is lost,
// its row (subject, sender, times, size, flags) often survives in a live or stale copy of the
// table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/message_base.h"
#include "message/property_value.h"

namespace brevik {

struct TableRowItem {
    std::uint32_t nodeId = 0;               // the row id: the item's own node id
    std::uint32_t parentNodeId = 0;         // the folder whose table held the row
    std::uint8_t reachable = 0;             // the table copy came from a live index page
    std::shared_ptr<MessageRecord> record;  // the row's values, interpreted as an item's
};

// Rows of every contents table (live copies first) whose item is not in `knownItems`, one per
// item. A row that names the same subject and time as one of `knownKeys` (items found without
// their node id) is left out too. Needs the encoding decided.
std::vector<TableRowItem> findTableRowItems(MessageBase& base,
                                            const std::unordered_set<std::uint32_t>& knownItems,
                                            const std::unordered_set<std::string>& knownKeys);

// The subject-and-time key of an item's property row, for matching rows with items found
// without node ids.
std::string subjectTimeKey(const PropertyRow& row);

}  // namespace brevik
