#include "engine/recovery_pass.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "engine/carving.h"
#include "engine/encoding_vote.h"
#include "engine/folder_tree.h"
#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "engine/name_to_id_map.h"
#include "engine/table_rows.h"
#include "message/class_prefix.h"
#include "message/interpret_properties.h"
#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/property_reader.h"
#include "message/records.h"

namespace brevik {
namespace {

// The name-to-id map node as the classification last saw it.
struct MapNode {
    BlockIndex dataIndex = kNoBlock;
    BlockIndex subnodeIndex = kNoBlock;
    bool reachable = false;
};

// Node id types ([MS-PST] NID_TYPE) of folders.
constexpr std::uint32_t kNodeTypeMask = 0x1F;
constexpr std::uint32_t kFolderNodeType = 0x02;
constexpr std::uint32_t kSearchFolderNodeType = 0x03;

struct KeyHash {
    std::size_t operator()(const std::uint64_t& k) const { return std::hash<std::uint64_t>()(k); }
};

std::uint64_t folderKey(std::uint32_t nodeId, std::uint32_t parent) {
    return (std::uint64_t{nodeId} << 32) | parent;
}

// Items are duplicates when they share data block, subnode block and parent.
struct MessageKey {
    BlockIndex data;
    BlockIndex subnode;
    std::uint32_t parent;
    bool operator==(const MessageKey&) const = default;
};
struct MessageKeyHash {
    std::size_t operator()(const MessageKey& k) const {
        std::uint64_t h = static_cast<std::uint32_t>(k.data);
        h = h * 0x9E3779B97F4A7C15ull ^ static_cast<std::uint32_t>(k.subnode);
        h = h * 0x9E3779B97F4A7C15ull ^ k.parent;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};
// Earlier kept copies of one item: the first of all, and the unreachable ones in order.
struct EarlierCopies {
    std::uint32_t first;
    std::deque<std::uint32_t> unreachable;
};

class Pass {
  public:
    explicit Pass(MessageBase& base) : base_(base), vote_(CryptMethod::Unrecognised) {}

    void run() {
        base_.dropped = DropCounts{};
        base_.damage.clear();
        base_.encodingState = encoding::kUndecided;
        base_.markProgress(milestone::kStart);
        if (detectFormat(base_) != 0) throw PassAborted{"format not recognised"};
        base_.checkpoint(milestone::kFormatKnown);
        base_.cryptMethod = readCryptMethod(base_);
        buildIndexTables(base_);
        checkFileEnd();
        base_.checkpoint(milestone::kTablesBuilt);

        base_.itemCapacity = base_.messageNodeCount + 10;
        base_.messageEntries.clear();
        base_.messageEntries.reserve(base_.itemCapacity);
        base_.folderEntries.clear();
        base_.folderEntries.reserve(base_.folderCapacity);
        vote_ = EncodingVote(base_.cryptMethod);

        classifyNodes();
        base_.checkpoint(milestone::kNodesClassified);
        base_.encodingState = vote_.finish(base_);
        base_.indexBlockOffsets();
        addUnclaimedItems();
        addTableRowItems();
        std::stable_sort(base_.messageEntries.begin(), base_.messageEntries.end(),
                         [](const MessageNodeEntry& a, const MessageNodeEntry& b) {
                             return static_cast<std::int32_t>(a.parentNodeId) <
                                    static_cast<std::int32_t>(b.parentNodeId);
                         });
        base_.checkpoint(milestone::kMessagesSorted);
        base_.checkpoint(milestone::kEncodingDecided);

        groupByFolder();
        base_.checkpoint(milestone::kMessagesGrouped);
        base_.itemCount = static_cast<std::uint32_t>(base_.messageEntries.size());
        base_.folderCount = static_cast<std::uint32_t>(base_.folderEntries.size());
        base_.itemSummaries.assign(base_.itemCapacity, ItemSummary{});

        readNameToIdMap(base_, map_.dataIndex, map_.subnodeIndex);
        loadItems();
        base_.checkpoint(milestone::kMessagesLoaded);
        readFolderRecords();
        base_.checkpoint(milestone::kFoldersRead);
        appendOrphanGroups();
        nameUnnamedFolders();
        std::stable_sort(
            base_.folderEntries.begin(), base_.folderEntries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.nodeId < b.nodeId; });
        buildFolderTree(base_);
        base_.markProgress(milestone::kDone);
        base_.resultOk = 1;
    }

  private:
    // A file cut short: the header's end-of-file ([MS-PST] ROOT ibFileEof) lies past its end.
    void checkFileEnd() {
        const bool unicode = base_.isUnicode();
        std::uint8_t eof[8] = {};
        if (!base_.readAt(unicode ? 184 : 168, std::span(eof, unicode ? 8 : 4))) return;
        const std::uint64_t stated = unicode ? load64(eof) : load32(eof);
        if (stated > base_.fileSize)
            base_.damage.note(DamageKind::FileShorterThanHeader, base_.fileSize);
    }

    void noteWithoutData(const NodeEntry& n) {
        ++base_.dropped.nodesWithoutData;
        base_.damage.note(
            n.reachable ? DamageKind::LiveNodeWithoutData : DamageKind::StaleIndexEntries,
            n.pageOffset);
    }

    void classifyNodes() {
        std::unordered_map<std::uint64_t, std::uint32_t, KeyHash> folderAt;
        std::unordered_map<MessageKey, EarlierCopies, MessageKeyHash> copies;
        for (const NodeEntry& n : base_.nodeTable) {
            if (n.nodeId < kFirstMessageNodeId && n.parentNodeId != 0) {
                // Only folder and search-folder node types name folders; anything else with a
                // parent (node id 0 among them) is a garbled entry of a reused page.
                const std::uint32_t type = n.nodeId & kNodeTypeMask;
                if (type == kFolderNodeType || type == kSearchFolderNodeType)
                    classifyFolder(n, folderAt);
            } else if (n.nodeId >= kFirstMessageNodeId)
                classifyMessage(n, copies);
            if (n.nodeId == kNameToIdMapNodeId) {
                const BlockIndex data = findBlock(base_, n.dataBid);
                if (data != kNoBlock && !map_.reachable)
                    map_ = {data, findBlock(base_, n.subnodeBid), n.reachable != 0};
            }
            vote_.afterEntry();
        }
    }

    void classifyFolder(const NodeEntry& n,
                        std::unordered_map<std::uint64_t, std::uint32_t, KeyHash>& folderAt) {
        const BlockIndex data = findBlock(base_, n.dataBid);
        if (data == kNoBlock) {
            noteWithoutData(n);
            return;
        }
        FolderEntry f;
        f.dataIndex = data;
        f.nodeId = n.nodeId;
        f.parentNodeId = n.parentNodeId;
        f.reachable = n.reachable;
        auto [it, isNew] = folderAt.emplace(folderKey(n.nodeId, n.parentNodeId),
                                            static_cast<std::uint32_t>(base_.folderEntries.size()));
        if (!isNew) {
            // A live copy replaces a stale one found earlier.
            if (n.reachable) base_.folderEntries[it->second] = f;
            return;
        }
        if (vote_.sampling())
            vote_.sampleBlock(base_, base_.blockTable[data].fileOffset,
                              base_.blockTable[data].blockId);
        base_.folderEntries.push_back(std::move(f));
    }

    void classifyMessage(const NodeEntry& n,
                         std::unordered_map<MessageKey, EarlierCopies, MessageKeyHash>& copies) {
        const BlockIndex data = findBlock(base_, n.dataBid);
        if (data == kNoBlock) {
            noteWithoutData(n);
            return;
        }
        const BlockIndex sub = findBlock(base_, n.subnodeBid);
        if (vote_.sampling())
            vote_.sampleBlock(base_, base_.blockTable[data].fileOffset,
                              base_.blockTable[data].blockId);

        const MessageKey key{data, sub, n.parentNodeId};
        auto it = copies.find(key);
        if (it != copies.end()) {
            // The first earlier copy of which not both are reachable makes this one a duplicate.
            EarlierCopies& c = it->second;
            std::optional<std::uint32_t> match;
            if (!n.reachable)
                match = c.first;
            else if (!c.unreachable.empty())
                match = c.unreachable.front();
            if (match) {
                ++base_.dropped.duplicateItems;
                if (n.reachable) {
                    MessageNodeEntry& earlier = base_.messageEntries[*match];
                    earlier.nodeId = n.nodeId;
                    earlier.reachable = 1;
                    c.unreachable.pop_front();
                }
                return;
            }
        }
        if (base_.blockTable[data].fileOffset == 0) return;
        MessageNodeEntry m;
        m.nodeId = n.nodeId;
        m.dataIndex = data;
        m.subnodeIndex = sub;
        m.parentNodeId = n.parentNodeId;
        m.reachable = n.reachable;
        const auto index = static_cast<std::uint32_t>(base_.messageEntries.size());
        base_.messageEntries.push_back(std::move(m));
        if (it == copies.end()) it = copies.emplace(key, EarlierCopies{index, {}}).first;
        if (!n.reachable) it->second.unreachable.push_back(index);
    }

    // Items whose node entries are gone but whose data block still holds their properties:
    // kept as deleted items of a folder of their own.
    void addUnclaimedItems() {
        for (BlockIndex data : findUnclaimedItemBlocks(base_)) {
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

    // Items whose node or data is lost but whose row survives in a contents table.
    void addTableRowItems() {
        std::unordered_set<std::uint32_t> known;
        std::unordered_set<std::string> carvedKeys;
        static const std::vector<SubnodeEntry> kNoSubnodes;
        for (const MessageNodeEntry& e : base_.messageEntries) {
            if (e.source == ItemSource::Index) {
                known.insert(e.nodeId);
                continue;
            }
            PropertyList rows;
            if (readPropertyList(base_, rows, e.dataIndex, kNoSubnodes, false) != -1 &&
                !rows.empty())
                carvedKeys.insert(subjectTimeKey(rows.front()));
        }
        for (TableRowItem& row : findTableRowItems(base_, known, carvedKeys)) {
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

    void groupByFolder() {
        std::unordered_map<std::uint32_t, std::uint32_t> firstFolder;
        for (std::uint32_t k = 0; k < base_.folderEntries.size(); ++k)
            firstFolder.emplace(base_.folderEntries[k].nodeId, k);
        const auto& items = base_.messageEntries;
        for (std::size_t start = 0; start < items.size();) {
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

    void loadItems() {
        const std::uint32_t m = base_.itemCount;
        // Up to 1000 items advance the bar in even steps; more write one slot per block of items.
        const std::uint32_t every = m <= 1000 ? 1 : m / 1000 + 1;
        const std::uint32_t step = m == 0 ? 0 : m <= 1000 ? 1000 / m : 1;
        std::uint32_t counter = 0, writes = 0;
        for (std::uint32_t i = 0; i < m; ++i) {
            MessageNodeEntry& e = base_.messageEntries[i];
            e.subnodes.clear();
            if (e.subnodeIndex != kNoBlock)
                readSubnodeList(base_, e.subnodes, e.subnodeIndex, 0, 0);
            std::stable_sort(e.subnodes.begin(), e.subnodes.end(),
                             [](const SubnodeEntry& a, const SubnodeEntry& b) {
                                 return static_cast<std::uint32_t>(a.ownerDataIndex) <
                                        static_cast<std::uint32_t>(b.ownerDataIndex);
                             });
            if (e.source == ItemSource::TableRow) {
                buildItemSummary(base_, i);  // from the row's values, read with the table
            } else if (loadMessage(base_, i) == -1) {
                e.loadFailed = 1;
                ++base_.dropped.itemsNotLoaded;
                if (e.reachable)
                    base_.damage.note(DamageKind::ItemNotLoaded,
                                      base_.blockTable[e.dataIndex].fileOffset);
            } else {
                if (e.record) e.attachmentCount = e.record->currentAttachment;
                buildItemSummary(base_, i);
            }
            e.record.reset();
            if (++counter >= every) {
                counter = 0;
                base_.checkpoint();
                const int slot = std::min<int>(milestone::kMessagesGrouped + step * writes,
                                               milestone::kLastLoadingSlot);
                base_.markProgress(slot, i + 89767);
                ++writes;
            }
        }
    }

    void readFolderRecords() {
        static const std::vector<SubnodeEntry> kNoSubnodes;
        for (FolderEntry& f : base_.folderEntries) {
            PropertyList rows;
            auto record = makeFolderRecord();
            if (readPropertyList(base_, rows, f.dataIndex, kNoSubnodes, false) != -1)
                interpretProperties(&base_, rows, *record);
            f.record = std::move(record);
        }
    }

    void appendOrphanGroups() {
        for (FolderEntry& o : orphans_)
            base_.folderEntries.push_back(std::move(o));
        orphans_.clear();
        base_.folderCount = static_cast<std::uint32_t>(base_.folderEntries.size());
        base_.folderCapacity = base_.folderCount;
    }

    void nameUnnamedFolders() {
        const std::string lost = classPrefixString(1).value_or("Lost and Found");
        std::uint32_t unnamed = 0;
        for (FolderEntry& f : base_.folderEntries) {
            if (!f.record) f.record = makeFolderRecord();
            if (f.record->displayName && !f.record->displayName->empty()) continue;
            f.record->displayName = unnamed == 0 ? lost : lost + "_" + std::to_string(unnamed);
            ++unnamed;
        }
    }

    MessageBase& base_;
    EncodingVote vote_;
    MapNode map_;
    std::vector<FolderEntry> orphans_;
};

}  // namespace

void recoverMessageBase(MessageBase& base) {
    try {
        Pass(base).run();
    } catch (...) {
        // Tables built so far stay until the next reset.
        base.resultOk = 0;
    }
}

void openMessageBase(MessageBase& base) {
    base.resultOk = 1;
    if (!base.source && !base.openFile()) {
        base.errorCode = ERROR_FILE_ACCESS;
        base.resultOk = 0;
        return;
    }
    base.fileSize = base.source->size();
    recoverMessageBase(base);
}

}  // namespace brevik
