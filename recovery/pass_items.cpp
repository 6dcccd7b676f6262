// Putting the items in folder order: the items beside those the index names (found from their
// data alone or from contents-table rows), sorted by parent and grouped under their folders.
#include <algorithm>
#include <string>
#include <unordered_map>

#include "engine/large_pages.h"
#include "message/property_reader.h"
#include "recovery/carving.h"
#include "recovery/pass.h"

namespace brevik {

// A stable sort with one move per item, where a merge sort moves each many times.
void sortByParent(std::vector<MessageNodeEntry>& items) {
    std::unordered_map<std::uint32_t, std::uint32_t> bucketOf;  // parent -> bucket
    std::vector<std::uint32_t> parents;
    std::vector<std::uint32_t> bucket(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto [at, isNew] =
            bucketOf.try_emplace(items[i].parentNodeId, static_cast<std::uint32_t>(parents.size()));
        if (isNew) parents.push_back(items[i].parentNodeId);
        bucket[i] = at->second;
    }
    if (parents.size() < 2) return;
    std::vector<std::uint32_t> order(parents.size());
    for (std::uint32_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return static_cast<std::int32_t>(parents[a]) < static_cast<std::int32_t>(parents[b]);
    });
    // Where each bucket starts in the sorted vector.
    std::vector<std::size_t> count(parents.size(), 0), next(parents.size());
    for (const std::uint32_t b : bucket)
        ++count[b];
    std::size_t at = 0;
    for (const std::uint32_t b : order) {
        next[b] = at;
        at += count[b];
    }
    std::vector<MessageNodeEntry> sorted;
    reserveLarge(sorted, items.size());
    sorted.resize(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        sorted[next[bucket[i]]++] = std::move(items[i]);
    items.swap(sorted);
}

// Items whose node entries are gone but whose data block still holds their properties: kept as
// deleted items of a folder of their own.
void Pass::addUnclaimedItems(BlockClaims* known) {
    for (BlockIndex data : findUnclaimedItemBlocks(base_, known)) {
        MessageNodeEntry m;
        m.dataIndex = data;
        m.parentNodeId = kUnclaimedItemsFolderId;
        m.source = ItemSource::DataAlone;
        base_.messageEntries.push_back(std::move(m));
        ++base_.dropped.itemsFromDataAlone;
    }
    base_.itemCapacity = std::max<std::uint32_t>(
        base_.itemCapacity, static_cast<std::uint32_t>(base_.messageEntries.size()));
}

// The node ids of the items the index names.
std::unordered_set<std::uint32_t> Pass::indexedItems() const {
    std::unordered_set<std::uint32_t> known;
    known.reserve(base_.messageEntries.size());
    for (const MessageNodeEntry& e : base_.messageEntries)
        if (e.source == ItemSource::Index) known.insert(e.nodeId);
    return known;
}

// Items whose node or data is lost but whose row survives in a contents table, unless the row
// names the subject and time of an item found without its node entry.
void Pass::addTableRowItems(std::vector<TableRowItem> found) {
    std::unordered_set<std::string> carvedKeys;
    static const std::vector<SubnodeEntry> kNoSubnodes;
    for (const MessageNodeEntry& e : base_.messageEntries) {
        if (e.source == ItemSource::Index) continue;
        PropertyList rows;
        if (readPropertyList(base_, rows, e.dataIndex, kNoSubnodes, false) != -1 && !rows.empty())
            carvedKeys.insert(subjectTimeKey(rows.front()));
    }
    for (TableRowItem& row : found) {
        if (carvedKeys.count(row.key)) continue;
        MessageNodeEntry m;
        m.nodeId = row.nodeId;
        m.parentNodeId = row.parentNodeId;
        m.reachable = row.reachable;
        m.source = ItemSource::TableRow;
        ++base_.dropped.itemsFromTableRows;
        m.record = std::move(row.record);
        base_.messageEntries.push_back(std::move(m));
    }
    base_.itemCapacity = std::max<std::uint32_t>(
        base_.itemCapacity, static_cast<std::uint32_t>(base_.messageEntries.size()));
}

// Groups the items from `first` on (sorted, each parent's items after any before `first`).
void Pass::groupByFolder(std::size_t first) {
    std::unordered_map<std::uint32_t, std::uint32_t> firstFolder;
    for (std::uint32_t k = 0; k < base_.folderEntries.size(); ++k)
        firstFolder.emplace(base_.folderEntries[k].nodeId, k);
    const auto& items = base_.messageEntries;
    for (std::size_t start = first; start < items.size();) {
        std::size_t end = start + 1;
        while (end < items.size() && items[end].parentNodeId == items[start].parentNodeId)
            ++end;
        const std::uint32_t parent = items[start].parentNodeId;
        FolderEntry* target;
        if (auto f = firstFolder.find(parent); f != firstFolder.end()) {
            target = &base_.folderEntries[f->second];
        } else {
            orphans_.emplace_back();
            target = &orphans_.back();
            target->nodeId = parent;
            target->dataIndex = 0;
            target->orphanGroup = true;
            ++base_.dropped.orphanGroups;
        }
        target->firstItem = static_cast<std::uint32_t>(start);
        target->endItem = static_cast<std::uint32_t>(end);
        target->itemCount = static_cast<std::uint32_t>(end - start);
        start = end;
    }
}

}  // namespace brevik
