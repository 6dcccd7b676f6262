#include "recovery/table_rows.h"

#include <algorithm>
#include <functional>

#include "engine/index_tables.h"
#include "engine/ndb_format.h"
#include "engine/parallel_parts.h"
#include "message/interpret_properties.h"
#include "message/property_reader.h"
#include "message/property_tags.h"
#include "message/records.h"

namespace brevik {
namespace {

const PropertyValue* find(const PropertyRow& row, std::uint32_t id) {
    for (const PropertyValue& v : row)
        if (v.id == id && v.data) return &v;
    return nullptr;
}

}  // namespace

namespace {

std::string keyWith(const PropertyRow& row, std::uint32_t timeId) {
    std::string key;
    if (const PropertyValue* v = find(row, pid::kSubject))
        key.append(v->data->begin(), v->data->end());
    key.push_back('\0');
    if (const PropertyValue* v = find(row, timeId)) key.append(v->data->begin(), v->data->end());
    return key;
}

}  // namespace

std::string subjectTimeKey(const PropertyRow& row) {
    return keyWith(row, find(row, pid::kMessageDeliveryTime) ? pid::kMessageDeliveryTime
                                                             : pid::kClientSubmitTime);
}

std::vector<std::string> itemKeys(const PropertyRow& properties) {
    return {keyWith(properties, pid::kMessageDeliveryTime),
            keyWith(properties, pid::kClientSubmitTime)};
}

namespace {

using RowWanted = std::function<bool(std::uint32_t nodeId)>;

// The rows of contents table `t` whose items `wanted` takes, one per item, in row order.
std::vector<TableRowItem> wantedRows(MessageBase& base, const NodeEntry& t,
                                     const RowWanted& wanted) {
    std::vector<TableRowItem> out;
    if (base.stopped()) return out;
    const BlockIndex data = findBlock(base, t.dataBid);
    if (data == kNoBlock) return out;
    std::vector<SubnodeEntry> subnodes;
    if (const BlockIndex sub = findBlock(base, t.subnodeBid); sub != kNoBlock)
        readSubnodeList(base, subnodes, sub, 0, 0);
    // Most tables name only known items: a first read takes the row ids alone, and the whole
    // table is read once a row is taken.
    std::vector<std::uint32_t> ids;
    if (readTableRowIds(base, data, subnodes, ids) == -1) return out;
    PropertyList rows;
    bool complete = false;
    const std::uint32_t folder = (t.nodeId & ~ndb::kNidTypeMask) | ndb::kNidTypeNormalFolder;
    std::unordered_set<std::uint32_t> taken;
    for (std::size_t r = 0; r < ids.size(); ++r) {
        const std::uint32_t nid = ids[r];
        if (nid < ndb::kFirstMessageNodeId || !wanted(nid) || taken.count(nid)) continue;
        if (!complete) {
            // Complete: a row keeps its times and other 8-byte cells in the row itself.
            if (readPropertyList(base, rows, data, subnodes, true, ReadMode::Complete) == -1) break;
            complete = true;
        }
        if (r >= rows.size()) break;  // the second read found fewer rows
        const PropertyRow& row = rows[r];
        taken.insert(nid);
        auto record = makeItemRecord();
        interpretProperties(&base, {row}, *record);
        out.push_back({nid, folder, t.reachable, std::move(record), subjectTimeKey(row), row});
    }
    return out;
}

}  // namespace

namespace {

std::string folderName(MessageBase& base, const PropertyRow& row) {
    auto record = makeFolderRecord();
    interpretProperties(&base, {row}, *record);
    return record->displayName.value_or("");
}

}  // namespace

std::unordered_map<std::uint32_t, LostFolderTrace> lostFolderTraces(
    MessageBase& base, const std::unordered_set<std::uint32_t>& lost) {
    std::unordered_map<std::uint32_t, LostFolderTrace> traces;
    if (lost.empty()) return traces;
    static const std::vector<SubnodeEntry> kNoSubnodes;
    // A stale copy of the folder's own node names its parent and, when its data reads, itself.
    for (const NodeEntry& n : base.nodeTable) {
        if (!lost.count(n.nodeId) || base.stopped()) continue;
        LostFolderTrace& t = traces[n.nodeId];
        if (t.parentNodeId == 0 && n.parentNodeId != n.nodeId) t.parentNodeId = n.parentNodeId;
        PropertyList rows;
        const BlockIndex data = findBlock(base, n.dataBid);
        if (t.name.empty() && data != kNoBlock &&
            readPropertyList(base, rows, data, kNoSubnodes, false) != -1 && !rows.empty())
            t.name = folderName(base, rows.front());
    }
    // A row in a hierarchy table names the folder and, by the table, its parent.
    for (const NodeEntry& n : base.nodeTable) {
        if (ndb::nidType(n.nodeId) != ndb::kNidTypeHierarchyTable || base.stopped()) continue;
        const BlockIndex data = findBlock(base, n.dataBid);
        if (data == kNoBlock) continue;
        std::vector<SubnodeEntry> subnodes;
        if (const BlockIndex sub = findBlock(base, n.subnodeBid); sub != kNoBlock)
            readSubnodeList(base, subnodes, sub, 0, 0);
        std::vector<std::uint32_t> ids;
        if (readTableRowIds(base, data, subnodes, ids) == -1 ||
            std::none_of(ids.begin(), ids.end(), [&](std::uint32_t id) { return lost.count(id); }))
            continue;
        PropertyList rows;
        if (readPropertyList(base, rows, data, subnodes, true, ReadMode::Complete) == -1) continue;
        const std::uint32_t parent = (n.nodeId & ~ndb::kNidTypeMask) | ndb::kNidTypeNormalFolder;
        for (std::size_t r = 0; r < ids.size() && r < rows.size(); ++r) {
            if (!lost.count(ids[r])) continue;
            LostFolderTrace& t = traces[ids[r]];
            if (t.name.empty()) t.name = folderName(base, rows[r]);
            if (t.parentNodeId == 0 && parent != ids[r]) t.parentNodeId = parent;
        }
    }
    return traces;
}

std::unordered_map<std::uint32_t, std::unordered_set<std::uint32_t>> listedItems(
    MessageBase& base) {
    std::unordered_map<std::uint32_t, const NodeEntry*> newest;
    for (const NodeEntry& n : base.nodeTable) {
        if (ndb::nidType(n.nodeId) != ndb::kNidTypeContentsTable) continue;
        const NodeEntry*& kept = newest[n.nodeId];
        if (!kept || n.dataBid > kept->dataBid) kept = &n;
    }
    std::unordered_map<std::uint32_t, std::unordered_set<std::uint32_t>> listed;
    for (const auto& [tableId, t] : newest) {
        if (base.stopped()) break;
        const BlockIndex data = findBlock(base, t->dataBid);
        if (data == kNoBlock) continue;
        std::vector<SubnodeEntry> subnodes;
        if (const BlockIndex sub = findBlock(base, t->subnodeBid); sub != kNoBlock)
            readSubnodeList(base, subnodes, sub, 0, 0);
        std::vector<std::uint32_t> ids;
        if (readTableRowIds(base, data, subnodes, ids) == -1) continue;
        const std::uint32_t folder = (tableId & ~ndb::kNidTypeMask) | ndb::kNidTypeNormalFolder;
        listed[folder].insert(ids.begin(), ids.end());
    }
    return listed;
}

namespace {

std::vector<TableRowItem> findRows(MessageBase& base, const RowWanted& wanted) {
    std::vector<const NodeEntry*> tables;
    for (const NodeEntry& n : base.nodeTable)
        if (ndb::nidType(n.nodeId) == ndb::kNidTypeContentsTable) tables.push_back(&n);
    std::stable_sort(tables.begin(), tables.end(), [](const NodeEntry* a, const NodeEntry* b) {
        return a->reachable > b->reachable;
    });

    // Tables are read on the pass's threads, each table's rows of unknown items gathered apart;
    // then, in table order, each item keeps the first row found for it.
    std::vector<TableRowItem> out;
    std::unordered_set<std::uint32_t> taken;
    inOrderedChunks<std::vector<TableRowItem>>(
        tables.size(), 1, base.passThreads, 2 * std::max(1u, base.passThreads),
        [&](std::uint64_t k, std::uint64_t) { return wantedRows(base, *tables[k], wanted); },
        [&](std::vector<TableRowItem> rows) {
            for (TableRowItem& row : rows)
                if (taken.insert(row.nodeId).second) out.push_back(std::move(row));
        });
    return out;
}

}  // namespace

std::vector<TableRowItem> findTableRowItems(MessageBase& base,
                                            const std::unordered_set<std::uint32_t>& knownItems) {
    return findRows(base, [&](std::uint32_t nid) { return !knownItems.count(nid); });
}

std::vector<TableRowItem> findRowsOf(MessageBase& base,
                                     const std::unordered_set<std::uint32_t>& items) {
    return findRows(base, [&](std::uint32_t nid) { return items.count(nid) != 0; });
}

}  // namespace brevik
