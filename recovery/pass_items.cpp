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

// Items whose node or data is lost but whose row survives in a contents table. A row naming the
// subject and time of an item found from its data alone is that item: the full copy takes the
// row's node id and folder (and the table's liveness) instead of a second, empty copy.
void Pass::addTableRowItems(std::vector<TableRowItem> found) {
    std::unordered_map<std::string, std::size_t> carved;  // key -> entry found from its data
    static const std::vector<SubnodeEntry> kNoSubnodes;
    for (std::size_t i = 0; i < base_.messageEntries.size(); ++i) {
        const MessageNodeEntry& e = base_.messageEntries[i];
        if (e.source != ItemSource::DataAlone) continue;
        PropertyList rows;
        if (readPropertyList(base_, rows, e.dataIndex, kNoSubnodes, false) != -1 && !rows.empty())
            for (std::string& key : itemKeys(rows.front()))
                carved.try_emplace(std::move(key), i);
    }
    std::unordered_set<std::size_t> adopted;
    for (TableRowItem& row : found) {
        if (auto c = carved.find(row.key); c != carved.end()) {
            if (adopted.insert(c->second).second) {
                MessageNodeEntry& e = base_.messageEntries[c->second];
                e.nodeId = row.nodeId;
                e.parentNodeId = row.parentNodeId;
                e.reachable = row.reachable;
            }
            continue;
        }
        MessageNodeEntry m;
        m.nodeId = row.nodeId;
        m.parentNodeId = row.parentNodeId;
        m.reachable = row.reachable;
        m.source = ItemSource::TableRow;
        ++base_.dropped.itemsFromTableRows;
        base_.damage.note(DamageKind::ItemOnlyRowLeft, 0);  // its body and attachments are gone
        m.record = std::move(row.record);
        base_.tableRowValues[row.nodeId] = std::move(row.row);
        base_.messageEntries.push_back(std::move(m));
    }
    base_.itemCapacity = std::max<std::uint32_t>(
        base_.itemCapacity, static_cast<std::uint32_t>(base_.messageEntries.size()));
}

// With the index damaged, reachability from what is left of it says little (an older root may
// make deleted items look live and live ones deleted): an item is live when the newest copy of
// its folder's contents table lists it. Items of folders whose table cannot be read keep their
// marks.
void Pass::markLiveByTables() {
    const auto listed = listedItems(base_);
    // An item kept in several copies (older versions under the same id) keeps its marks: the
    // table names the id, not the copy.
    std::unordered_map<std::uint32_t, std::uint32_t> copies;
    for (const MessageNodeEntry& e : base_.messageEntries)
        if (e.source == ItemSource::Index) ++copies[e.nodeId];
    for (MessageNodeEntry& e : base_.messageEntries) {
        if (e.source != ItemSource::Index || copies[e.nodeId] > 1) continue;
        if (const auto f = listed.find(e.parentNodeId); f != listed.end())
            e.reachable = f->second.count(e.nodeId) ? 1 : 0;
    }
}

// Live items whose node entry survives but whose data cannot be read: their row in the folder's
// contents table still tells what they were, so they are listed from it (the data is lost all
// the same, and stays counted as such).
void Pass::listUnreadableItemsFromRows() {
    std::unordered_map<std::uint32_t, std::uint32_t> failed;  // node id -> item
    for (std::uint32_t i = 0; i < base_.itemCount; ++i) {
        const MessageNodeEntry& e = base_.messageEntries[i];
        // Stale entries of deleted items point at data since reused: nothing to rescue there.
        if (e.loadFailed && e.source == ItemSource::Index && e.reachable)
            failed.emplace(e.nodeId, i);
    }
    if (failed.empty()) return;
    std::unordered_set<std::uint32_t> ids;
    for (const auto& [id, item] : failed)
        ids.insert(id);
    for (TableRowItem& row : findRowsOf(base_, ids)) {
        const std::uint32_t i = failed.at(row.nodeId);
        MessageNodeEntry& e = base_.messageEntries[i];
        if (e.parentNodeId != row.parentNodeId) continue;  // a row of another folder's table
        e.source = ItemSource::TableRow;
        e.loadFailed = 0;
        e.record = std::move(row.record);
        base_.tableRowValues[row.nodeId] = std::move(row.row);
        --base_.dropped.itemsNotLoaded;
        ++base_.dropped.itemsFromTableRows;
        placeItemSummary(base_.rows(), i, summariseItem(base_, base_.rows(), i));
        e.record.reset();
    }
}

namespace {

// What a stale copy shares with the item it is a copy of; empty for an item too plain to tell
// (without a time, many items share a subject).
std::string copyKey(const ItemSummary& s) {
    if (s.utcTime == 0 || s.hiddenCode == 201) return {};
    std::string key = s.subjectText;
    key.push_back('\0');
    key.append(std::to_string(s.utcTime));
    key.push_back('\0');
    key.append(s.fromText);
    key.push_back('\0');
    key.append(s.toText);
    key.push_back('\0');
    key.append(s.messageClass);
    return key;
}

}  // namespace

// An item found from its data alone with the subject, time, sender, recipients and class of an item
// in a folder is an older copy of that item, left behind when it was rewritten: it goes with the
// deleted items of that folder instead of a folder made up for it. Folders hold contiguous
// ranges of items, so the copies move to the end of their folder's range and the rows follow.
void Pass::placeStaleCopies() {
    const auto unclaimed = std::find_if(orphans_.begin(), orphans_.end(), [](const FolderEntry& o) {
        return o.nodeId == kUnclaimedItemsFolderId;
    });
    if (unclaimed == orphans_.end() || unclaimed->itemCount == 0) return;
    const std::uint32_t n = base_.itemCount;
    std::unordered_map<std::string, std::vector<std::uint32_t>> copies;  // key -> unclaimed items
    for (std::uint32_t i = unclaimed->firstItem; i < unclaimed->endItem && i < n; ++i)
        if (!base_.messageEntries[i].loadFailed)
            if (std::string key = copyKey(base_.itemSummaries[i]); !key.empty())
                copies[key].push_back(i);
    if (copies.empty()) return;

    // The folder each copy goes to: the first whose live item it copies.
    std::vector<FolderEntry*> groups;  // every range of items, real folders and made-up ones
    for (FolderEntry& f : base_.folderEntries)
        groups.push_back(&f);
    for (FolderEntry& o : orphans_)
        groups.push_back(&o);
    std::unordered_map<std::uint32_t, FolderEntry*> target;  // item -> folder
    for (FolderEntry* f : groups) {
        if (f->orphanGroup) continue;
        for (std::uint32_t i = f->firstItem; i < f->endItem && i < n; ++i) {
            const MessageNodeEntry& e = base_.messageEntries[i];
            if (e.source != ItemSource::Index || !e.reachable || e.loadFailed) continue;
            const auto c = copies.find(copyKey(base_.itemSummaries[i]));
            if (c == copies.end()) continue;
            for (std::uint32_t copy : c->second)
                target.emplace(copy, f);
            copies.erase(c);
        }
    }
    if (target.empty()) return;

    // The new order: each range as it was, without the copies, each folder's copies after it.
    std::vector<FolderEntry*> byStart;
    for (FolderEntry* f : groups)
        if (f->itemCount) byStart.push_back(f);
    std::sort(byStart.begin(), byStart.end(), [](const FolderEntry* a, const FolderEntry* b) {
        return a->firstItem < b->firstItem;
    });
    std::unordered_map<const FolderEntry*, std::vector<std::uint32_t>> moved;
    for (const auto& [item, f] : target)
        moved[f].push_back(item);
    std::vector<std::uint32_t> order;  // new position -> old index
    order.reserve(n);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;  // per byStart entry
    for (FolderEntry* f : byStart) {
        const auto first = static_cast<std::uint32_t>(order.size());
        for (std::uint32_t i = f->firstItem; i < f->endItem && i < n; ++i)
            if (!target.count(i)) order.push_back(i);
        if (auto m = moved.find(f); m != moved.end()) {
            std::sort(m->second.begin(), m->second.end());
            order.insert(order.end(), m->second.begin(), m->second.end());
        }
        ranges.emplace_back(first, static_cast<std::uint32_t>(order.size()));
    }
    if (order.size() != n) return;  // ranges that do not cover the items: leave them be
    for (std::size_t k = 0; k < byStart.size(); ++k) {
        byStart[k]->firstItem = ranges[k].first;
        byStart[k]->endItem = ranges[k].second;
        byStart[k]->itemCount = ranges[k].second - ranges[k].first;
    }
    for (const auto& [item, f] : target) {
        MessageNodeEntry& e = base_.messageEntries[item];
        e.parentNodeId = f->nodeId;
        e.reachable = 0;
    }

    std::vector<std::uint32_t> newIndex(n);
    std::vector<MessageNodeEntry> entries(n);
    std::vector<ItemSummary> rows(n);
    for (std::uint32_t k = 0; k < n; ++k) {
        newIndex[order[k]] = k;
        entries[k] = std::move(base_.messageEntries[order[k]]);
        rows[k] = std::move(base_.itemSummaries[order[k]]);
    }
    std::move(entries.begin(), entries.end(), base_.messageEntries.begin());
    std::move(rows.begin(), rows.end(), base_.itemSummaries.begin());
    for (DamagedItem& d : base_.damagedItems)
        if (d.item < n) d.item = newIndex[d.item];
    std::sort(base_.damagedItems.begin(), base_.damagedItems.end(),
              [](const DamagedItem& a, const DamagedItem& b) { return a.item < b.item; });
    // Running numbers follow the new order, as the loads gave them.
    std::uint32_t counter = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
        if (base_.messageEntries[k].loadFailed) continue;
        ItemSummary& s = base_.itemSummaries[k];
        if (s.hiddenCode != 201) ++counter;
        s.number = counter;
    }
    if (unclaimed->itemCount == 0) {
        orphans_.erase(unclaimed);
        --base_.dropped.orphanGroups;
    }
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
            // Items that name a folder the file no longer has: that folder is lost.
            if (parent != kUnclaimedItemsFolderId) base_.damage.note(DamageKind::FolderLost, 0);
        }
        target->firstItem = static_cast<std::uint32_t>(start);
        target->endItem = static_cast<std::uint32_t>(end);
        target->itemCount = static_cast<std::uint32_t>(end - start);
        start = end;
    }
}

}  // namespace brevik
