// Items kept only in a folder's contents table: when an item's own node entry or data is lost,
// its row (subject, sender, times, size, flags) often survives in a live or stale copy of the
// table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
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
    std::string key;                        // the row's subjectTimeKey
    PropertyRow row;                        // the values as read, for saves
};

// Rows of every contents table (live copies first) whose item is not in `knownItems`, one per
// item. Callers leave out rows whose key is that of an item found without its node id. Needs
// the encoding decided; reads the file only, so it may run beside other work of the pass. A stop
// ends the scan early: the caller checks for one.
std::vector<TableRowItem> findTableRowItems(MessageBase& base,
                                            const std::unordered_set<std::uint32_t>& knownItems);

// The rows (live copies first) of the given items, one per item.
std::vector<TableRowItem> findRowsOf(MessageBase& base,
                                     const std::unordered_set<std::uint32_t>& items);

// The subject-and-time key of an item's property row, for matching rows with items found
// without node ids: the subject with the delivery time, or with the submit time when the row
// has no delivery time.
std::string subjectTimeKey(const PropertyRow& row);
// Both keys an item's own properties may match a row by: a contents table need not hold the
// delivery time.
std::vector<std::string> itemKeys(const PropertyRow& properties);

// What is left of a folder whose node is gone: its name and the folder above it, from its row
// in a hierarchy table or a stale copy of its own node.
struct LostFolderTrace {
    std::string name;                // UTF-8; empty when none survives
    std::uint32_t parentNodeId = 0;  // 0 when unknown
};
// Traces of the folders `lost` names, by folder node id; folders with none are absent.
std::unordered_map<std::uint32_t, LostFolderTrace> lostFolderTraces(
    MessageBase& base, const std::unordered_set<std::uint32_t>& lost);

// The items each folder's newest contents table lists (the copy with the newest data block, for
// a damaged index no longer tells which copy is live), by folder node id. Folders whose table
// cannot be read are absent.
std::unordered_map<std::uint32_t, std::unordered_set<std::uint32_t>> listedItems(MessageBase& base);

}  // namespace brevik
