// The folders' own records, the groups made up for orphaned items, and names for folders that
// lost theirs.
#include <string>
#include <unordered_set>

#include "engine/index_tables.h"
#include "message/class_prefix.h"
#include "message/interpret_properties.h"
#include "message/property_reader.h"
#include "message/records.h"
#include "recovery/carving.h"
#include "recovery/pass.h"
#include "recovery/table_rows.h"

namespace brevik {
namespace {

bool flagSet(const PropertyList& rows, std::uint16_t id) {
    if (rows.empty()) return false;
    for (const PropertyValue& v : rows.front())
        if (v.id == id && v.type == ptype::kBoolean && v.data && !v.data->empty())
            return (*v.data)[0] != 0;
    return false;
}

}  // namespace

// The folder the message store names as the top of the mailbox: the node id at the end of its
// PR_IPM_SUBTREE_ENTRYID ([MS-PST] ENTRYID: flags, provider uid, nid). Offline files number it
// freely, and a personal folders file need not use the usual id either.
void Pass::readIpmSubtreeId() {
    static const std::vector<SubnodeEntry> kNoSubnodes;
    base_.ipmSubtreeId = 0;
    const NodeEntry* store = nullptr;
    for (const NodeEntry& n : base_.nodeTable)
        if (n.nodeId == ndb::kNidMessageStore && (!store || (n.reachable && !store->reachable)))
            store = &n;
    if (!store) return;
    PropertyList rows;
    if (readPropertyList(base_, rows, findBlock(base_, store->dataBid), kNoSubnodes, false) == -1 ||
        rows.empty())
        return;
    constexpr std::size_t kEntryIdSize = 24;
    for (const PropertyValue& v : rows.front())
        if (v.id == pid::kIpmSubtreeEntryId && v.data && v.data->size() >= kEntryIdSize)
            base_.ipmSubtreeId = load32(v.data->data() + kEntryIdSize - 4);
}

void Pass::readFolderRecords() {
    static const std::vector<SubnodeEntry> kNoSubnodes;
    for (FolderEntry& f : base_.folderEntries) {
        PropertyList rows;
        auto record = makeFolderRecord();
        if (readPropertyList(base_, rows, f.dataIndex, kNoSubnodes, false) != -1) {
            interpretProperties(&base_, rows, *record);
            f.hidden = flagSet(rows, pid::kAttrHidden);
        } else if (f.reachable && f.dataIndex >= 0 &&
                   static_cast<std::size_t>(f.dataIndex) < base_.blockTable.size())
            // Its items stay, in a folder named for lost ones; the user is told what was lost.
            base_.damage.note(DamageKind::FolderNotLoaded,
                              base_.blockTable[static_cast<std::size_t>(f.dataIndex)].fileOffset);
        f.record = std::move(record);
    }
}

void Pass::appendOrphanGroups() {
    nameLostFolders();
    for (FolderEntry& o : orphans_)
        base_.folderEntries.push_back(std::move(o));
    orphans_.clear();
    base_.folderCount = static_cast<std::uint32_t>(base_.folderEntries.size());
    base_.folderCapacity = base_.folderCount;
}

// A group made up for the items of a lost folder takes the folder's name and place when a trace
// of it survives ("Inbox (recovered)" under the Inbox's parent); "Lost and Found" otherwise.
void Pass::nameLostFolders() {
    std::unordered_set<std::uint32_t> lost;
    for (const FolderEntry& o : orphans_)
        if (o.nodeId != kUnclaimedItemsFolderId) lost.insert(o.nodeId);
    const auto traces = lostFolderTraces(base_, lost);
    for (FolderEntry& o : orphans_) {
        const auto t = traces.find(o.nodeId);
        if (t == traces.end()) continue;
        if (!t->second.name.empty()) {
            o.record = makeFolderRecord();
            o.record->displayName = t->second.name + " (recovered)";
        }
        o.parentNodeId = t->second.parentNodeId;
    }
}

void Pass::nameUnnamedFolders() {
    const std::string lost = classPrefixString(1).value_or("Lost and Found");
    std::uint32_t unnamed = 0;
    for (FolderEntry& f : base_.folderEntries) {
        if (!f.record) f.record = makeFolderRecord();
        if (f.record->displayName && !f.record->displayName->empty()) continue;
        f.record->displayName = unnamed == 0 ? lost : lost + "_" + std::to_string(unnamed);
        ++unnamed;
    }
}

}  // namespace brevik
