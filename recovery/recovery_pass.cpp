#include "recovery/recovery_pass.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "engine/block_claims.h"
#include "engine/encoding_vote.h"
#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "engine/large_pages.h"
#include "engine/ndb_format.h"
#include "engine/read_window.h"
#include "message/class_prefix.h"
#include "message/interpret_properties.h"
#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/property_reader.h"
#include "message/records.h"
#include "recovery/carving.h"
#include "recovery/folder_tree.h"
#include "recovery/name_to_id_map.h"
#include "recovery/table_rows.h"

namespace brevik {
namespace {

// The name-to-id map node as the classification last saw it.
struct MapNode {
    BlockIndex dataIndex = kNoBlock;
    BlockIndex subnodeIndex = kNoBlock;
    bool reachable = false;
};

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
// Earlier kept copies of one item: the first of all, and the unreachable ones in order from
// `taken` on. A vector, not a deque: most items have no such copy, and an empty deque still
// costs its first block, over half a kilobyte per item.
struct EarlierCopies {
    std::uint32_t first;
    std::vector<std::uint32_t> unreachable;
    std::size_t taken = 0;
};

// The earlier copies of each item key, reached through the key's data block: nearly every item
// has a block of its own, so a lookup is an array access and a key or two compared, where a
// hash map of a hundred thousand keys is mostly cache misses.
class CopyGroups {
  public:
    CopyGroups(std::size_t blocks, std::size_t items) : head_(blocks, kNone) {
        reserveLarge(groups_, items);
    }
    // `key.data` is an index into the block table.
    EarlierCopies* find(const MessageKey& key) {
        for (std::uint32_t g = head_[key.data]; g != kNone; g = groups_[g].next)
            if (groups_[g].key == key) return &groups_[g].copies;
        return nullptr;
    }
    // Valid until the next add.
    EarlierCopies& add(const MessageKey& key, std::uint32_t first) {
        groups_.push_back({key, EarlierCopies{first, {}, 0}, head_[key.data]});
        head_[key.data] = static_cast<std::uint32_t>(groups_.size() - 1);
        return groups_.back().copies;
    }

  private:
    static constexpr std::uint32_t kNone = UINT32_MAX;
    struct Group {
        MessageKey key;
        EarlierCopies copies;
        std::uint32_t next;  // the group added before with the same data block
    };
    std::vector<std::uint32_t> head_;  // per block: its last group added
    std::vector<Group> groups_;
};

// Items in the order of their parents' ids (as signed numbers), each parent's items in the order
// they had: a stable sort, with one move per item where a merge sort moves each many times.
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

// Loading milestones: up to 1000 items advance the bar in even steps; more write one slot per
// block of items.
class LoadingProgress {
  public:
    explicit LoadingProgress(std::uint32_t items)
        : every_(items <= 1000 ? 1 : items / 1000 + 1),
          step_(items == 0      ? 0
                : items <= 1000 ? 1000 / items
                                : 1) {}

    // After item `i` is booked; a stop requested meanwhile ends the pass here.
    void itemDone(RecoveredBase& base, std::uint32_t i) {
        if (++counter_ < every_) return;
        counter_ = 0;
        base.checkpoint();
        const int slot = std::min<int>(milestone::kMessagesGrouped + step_ * writes_,
                                       milestone::kLastLoadingSlot);
        base.markProgress(slot, i + 89767);
        ++writes_;
    }

  private:
    std::uint32_t every_, step_;
    std::uint32_t counter_ = 0, writes_ = 0;
};

// Threads running `work` until it returns. The destructor calls `quit` and joins them, also when
// the coordinating thread leaves by an exception. Threads the system refuses are left out.
class WorkerThreads {
  public:
    WorkerThreads(unsigned count, const std::function<void()>& work, std::function<void()> quit)
        : quit_(std::move(quit)) {
        threads_.reserve(count);
        for (unsigned k = 0; k < count; ++k) {
            try {
                threads_.emplace_back(work);
            } catch (const std::system_error&) {
                break;
            }
        }
    }
    ~WorkerThreads() {
        quit_();
        for (std::thread& t : threads_)
            t.join();
    }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    std::size_t count() const { return threads_.size(); }

  private:
    std::function<void()> quit_;
    std::vector<std::thread> threads_;
};

// How often a pass waiting for its workers looks at the stop flag.
constexpr std::chrono::milliseconds kStopPoll{10};

class Pass {
  public:
    explicit Pass(RecoveredBase& base) : base_(base), vote_(CryptMethod::Unrecognised) {}

    void run() {
        base_.dropped = DropCounts{};
        base_.damage.clear();
        // A run after a stopped one starts its numbers and body budget afresh.
        base_.summaryCounter = 0;
        base_.keptBodyBytes = 0;
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
        reserveLarge(base_.messageEntries, base_.itemCapacity);
        base_.folderEntries.clear();
        base_.folderEntries.reserve(base_.folderCapacity);
        vote_ = EncodingVote(base_.cryptMethod);

        classifyNodes();
        base_.checkpoint(milestone::kNodesClassified);
        base_.encodingState = vote_.finish(base_);
        base_.indexBlockOffsets();
        // Contents tables are read while the items are put in order: only the rows of items
        // whose nodes are gone are kept.
        const std::unordered_set<std::uint32_t> known = indexedItems();
        const auto launch = passThreadCount() > 1 ? std::launch::async : std::launch::deferred;
        std::future<std::vector<TableRowItem>> tableRows;
        try {
            tableRows =
                std::async(launch, [this, &known] { return findTableRowItems(base_, known); });
        } catch (const std::system_error&) {
            tableRows = std::async(std::launch::deferred,
                                   [this, &known] { return findTableRowItems(base_, known); });
        }
        sortByParent(base_.messageEntries);
        reserveLarge(base_.itemSummaries, base_.itemCapacity);
        base_.itemSummaries.assign(base_.itemCapacity, ItemSummary{});
        readNameToIdMap(base_, map_.dataIndex, map_.subnodeIndex);
        std::vector<TableRowItem> rows = tableRows.get();
        // Items found from their data alone sort after all others. Without table rows (whose
        // fate depends on those items) the items with node entries can then load first, and
        // the scan for items without reads only the internal blocks those loads did not.
        const bool unclaimedLast =
            rows.empty() &&
            std::none_of(base_.messageEntries.begin(), base_.messageEntries.end(),
                         [](const MessageNodeEntry& e) {
                             return static_cast<std::int32_t>(e.parentNodeId) >=
                                    static_cast<std::int32_t>(kUnclaimedItemsFolderId);
                         });
        if (!unclaimedLast) {
            addUnclaimedItems(nullptr);
            addTableRowItems(std::move(rows));
            sortByParent(base_.messageEntries);
        }
        base_.checkpoint(milestone::kMessagesSorted);
        base_.checkpoint(milestone::kEncodingDecided);

        groupByFolder(0);
        base_.checkpoint(milestone::kMessagesGrouped);
        base_.itemCount = static_cast<std::uint32_t>(base_.messageEntries.size());
        base_.folderCount = static_cast<std::uint32_t>(base_.folderEntries.size());
        base_.itemSummaries.resize(base_.itemCapacity);

        if (unclaimedLast) {
            // A file names each block about once: room for that many saves regrowing the lists
            // chunk by chunk.
            BlockClaims claims;
            reserveLarge(claims.ids, base_.blockTable.size());
            reserveLarge(claims.readBlocks, base_.blockTable.size());
            claims_ = &claims;
            loadItems(0, base_.itemCount);
            claims_ = nullptr;
            const std::uint32_t first = base_.itemCount;
            addUnclaimedItems(&claims);
            if (base_.messageEntries.size() > first) {
                groupByFolder(first);
                base_.itemCount = static_cast<std::uint32_t>(base_.messageEntries.size());
                base_.itemSummaries.resize(base_.itemCapacity);
                loadItems(first, base_.itemCount);
            }
        } else {
            loadItems(0, base_.itemCount);
        }
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
        CopyGroups copies(base_.blockTable.size(), base_.messageNodeCount);
        folderAt.reserve(base_.folderCapacity);
        for (const NodeEntry& n : base_.nodeTable) {
            if (n.nodeId < ndb::kFirstMessageNodeId && n.parentNodeId != 0) {
                // Only folder and search-folder node types name folders; anything else with a
                // parent (node id 0 among them) is a garbled entry of a reused page.
                const std::uint32_t type = ndb::nidType(n.nodeId);
                if (type == ndb::kNidTypeNormalFolder || type == ndb::kNidTypeSearchFolder)
                    classifyFolder(n, folderAt);
            } else if (n.nodeId >= ndb::kFirstMessageNodeId)
                classifyMessage(n, copies);
            if (n.nodeId == ndb::kNidNameToIdMap) {
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

    void classifyMessage(const NodeEntry& n, CopyGroups& copies) {
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
        EarlierCopies* group = copies.find(key);
        if (group) {
            // The first earlier copy of which not both are reachable makes this one a duplicate.
            EarlierCopies& c = *group;
            std::optional<std::uint32_t> match;
            if (!n.reachable)
                match = c.first;
            else if (c.taken < c.unreachable.size())
                match = c.unreachable[c.taken];
            if (match) {
                ++base_.dropped.duplicateItems;
                if (n.reachable) {
                    MessageNodeEntry& earlier = base_.messageEntries[*match];
                    earlier.nodeId = n.nodeId;
                    earlier.reachable = 1;
                    ++c.taken;
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
        if (!group) group = &copies.add(key, index);
        if (!n.reachable) group->unreachable.push_back(index);
    }

    // Items whose node entries are gone but whose data block still holds their properties:
    // kept as deleted items of a folder of their own.
    void addUnclaimedItems(BlockClaims* known) {
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
    std::unordered_set<std::uint32_t> indexedItems() const {
        std::unordered_set<std::uint32_t> known;
        known.reserve(base_.messageEntries.size());
        for (const MessageNodeEntry& e : base_.messageEntries)
            if (e.source == ItemSource::Index) known.insert(e.nodeId);
        return known;
    }

    // Items whose node or data is lost but whose row survives in a contents table, unless the
    // row names the subject and time of an item found without its node entry.
    void addTableRowItems(std::vector<TableRowItem> found) {
        std::unordered_set<std::string> carvedKeys;
        static const std::vector<SubnodeEntry> kNoSubnodes;
        for (const MessageNodeEntry& e : base_.messageEntries) {
            if (e.source == ItemSource::Index) continue;
            PropertyList rows;
            if (readPropertyList(base_, rows, e.dataIndex, kNoSubnodes, false) != -1 &&
                !rows.empty())
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
    void groupByFolder(std::size_t first) {
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

    // Loads items [first, end), one chunk, and appends their places to `places`, stopping
    // early when `keepGoing` turns false. Touches nothing but those items and their rows, so
    // distinct chunks may load on several threads; what depends on the items before them is left
    // to bookItem. `claims`, when given, gathers what the items' internal blocks name.
    //
    // The chunk's blocks come in three batches of reads: first every item's data block and
    // subnode list, then the nested lists those name, then, once the lists are known, the blocks
    // its subnodes start with (apart from the recipients a summary does not show, and with the
    // data trees of all subnodes when their names are gathered). From memory, a read costs
    // mostly its system call, which a batch shares.
    template <class KeepGoing>
    void loadChunk(std::uint32_t first, std::uint32_t end, BlockClaims* claims,
                   std::vector<SummaryPlace>& places, KeepGoing keepGoing) {
        std::vector<BlockIndex> blocks;
        blocks.reserve(2 * std::size_t{end - first});
        for (std::uint32_t i = first; i < end; ++i) {
            blocks.push_back(base_.messageEntries[i].dataIndex);
            blocks.push_back(base_.messageEntries[i].subnodeIndex);
        }
        ReadWindow window(base_);
        window.readBlocks(blocks);
        // The lists' nested lists (attachments' own) likewise, before the lists are read whole.
        blocks.clear();
        std::vector<SubnodeEntry> scratch;
        for (std::uint32_t i = first; i < end && keepGoing(); ++i) {
            const MessageNodeEntry& e = base_.messageEntries[i];
            if (e.subnodeIndex == kNoBlock) continue;
            scratch.clear();
            readSubnodeList(base_, scratch, e.subnodeIndex, 0, 0, nullptr, &blocks);
        }
        window.readBlocks(blocks);
        blocks.clear();
        for (std::uint32_t i = first; i < end && keepGoing(); ++i) {
            MessageNodeEntry& e = base_.messageEntries[i];
            e.subnodes.clear();
            if (e.subnodeIndex != kNoBlock)
                readSubnodeList(base_, e.subnodes, e.subnodeIndex, 0, 0, claims);
            for (const SubnodeEntry& s : e.subnodes)
                if ((s.ownerDataIndex == 0 && s.nodeId != ndb::kNidRecipientTable) ||
                    (claims && isDataTree(s.dataIndex)))
                    blocks.push_back(s.dataIndex);
        }
        window.readBlocks(blocks);
        for (std::uint32_t i = first; i < end && keepGoing(); ++i)
            places.push_back(loadItem(i, claims));
    }

    // Loads item `i`, whose subnode list loadChunk has read, and fills its row.
    SummaryPlace loadItem(std::uint32_t i, BlockClaims* claims) {
        MessageNodeEntry& e = base_.messageEntries[i];
        if (claims) {
            claimDataTree(base_, e.dataIndex, *claims);
            for (const SubnodeEntry& s : e.subnodes)
                claimDataTree(base_, s.dataIndex, *claims);
        }
        auto byOwner = [](const SubnodeEntry& a, const SubnodeEntry& b) {
            return static_cast<std::uint32_t>(a.ownerDataIndex) <
                   static_cast<std::uint32_t>(b.ownerDataIndex);
        };
        // Most lists are in order already; sorting takes a buffer of its own.
        if (!std::is_sorted(e.subnodes.begin(), e.subnodes.end(), byOwner))
            std::stable_sort(e.subnodes.begin(), e.subnodes.end(), byOwner);
        SummaryPlace place;
        if (e.source == ItemSource::TableRow) {
            place = summariseItem(base_, base_.rows(),
                                  i);  // from the row's values, read with the table
        } else if (loadMessage(base_, i, LoadScope::Summary) == -1) {
            e.loadFailed = 1;
        } else {
            if (e.record) e.attachmentCount = e.record->currentAttachment;
            place = summariseItem(base_, base_.rows(), i);
        }
        e.record.reset();
        return place;
    }

    // Books a loaded item in the base, in item order: its number, its body copy against the
    // budget, and what could not be read.
    void bookItem(std::uint32_t i, SummaryPlace place) {
        const MessageNodeEntry& e = base_.messageEntries[i];
        if (e.loadFailed) {
            ++base_.dropped.itemsNotLoaded;
            if (e.reachable)
                base_.damage.note(DamageKind::ItemNotLoaded,
                                  base_.blockTable[e.dataIndex].fileOffset);
        }
        placeItemSummary(base_.rows(), i, place);
    }

    bool isDataTree(BlockIndex b) const {
        return b >= 0 && static_cast<std::size_t>(b) < base_.blockTable.size() &&
               (base_.blockTable[b].blockId & ndb::kInternalBlockBit);
    }

    // Loads and books items [first, end).
    void loadItems(std::uint32_t first, std::uint32_t end) {
        const std::uint32_t m = end - first;
        LoadingProgress progress(m);
        const std::uint32_t perChunk = chunkSize(m);
        const unsigned threads = std::min<std::uint64_t>(
            passThreadCount(), (std::uint64_t{m} + perChunk - 1) / perChunk);
        if (threads > 1 && loadItemsOnThreads(first, end, threads, perChunk, progress)) return;
        std::vector<SummaryPlace> places;
        for (std::uint32_t c = first; c < end; c += perChunk) {
            const auto chunkEnd = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(end, std::uint64_t{c} + perChunk));
            places.clear();
            loadChunk(c, chunkEnd, claims_, places, [] { return true; });
            for (std::uint32_t j = 0; j < places.size(); ++j) {
                bookItem(c + j, places[j]);
                progress.itemDone(base_, c + j - first);
            }
        }
    }

    unsigned passThreadCount() const {
        constexpr unsigned kMaxThreads = 64;
        unsigned n = base_.passThreads;
        if (n == 0) n = std::thread::hardware_concurrency();
        return std::clamp(n, 1u, kMaxThreads);
    }

    // Items per chunk: enough chunks to keep every worker busy to the end, few enough that
    // taking one costs nothing next to loading it.
    static std::uint32_t chunkSize(std::uint32_t items) {
        return std::clamp<std::uint32_t>(items / 64, 8, 256);
    }

    // Tells the file that the data blocks of items [first, end) will be read soon, when they lie
    // close together (as in a file written in one go); scattered ones are left to the reads.
    void announceItemBlocks(std::uint32_t first, std::uint32_t end) const {
        constexpr std::uint64_t kMaxSpan = 32u << 20;
        constexpr std::uint64_t kTail = 64u << 10;  // an item's subnode blocks follow its data
        std::uint64_t low = UINT64_MAX, high = 0;
        for (std::uint32_t i = first; i < end; ++i) {
            const BlockIndex b = base_.messageEntries[i].dataIndex;
            if (b < 0 || static_cast<std::size_t>(b) >= base_.blockTable.size()) continue;
            low = std::min(low, base_.blockTable[b].fileOffset);
            high = std::max(high, base_.blockTable[b].fileOffset);
        }
        if (low <= high && high - low <= kMaxSpan) base_.willNeed(low, high - low + kTail);
    }

    // Loads contiguous chunks of items, taken in order (so reads move roughly forward through
    // the file), on worker threads, and books each chunk on this thread once it and every
    // chunk before it are loaded: the base ends as a single-threaded run leaves it. False when
    // no worker could be started and nothing was loaded.
    bool loadItemsOnThreads(std::uint32_t firstItem, std::uint32_t endItem, unsigned threads,
                            std::uint32_t perChunk, LoadingProgress& progress) {
        const std::uint32_t m = endItem - firstItem;
        const auto chunks =
            static_cast<std::uint32_t>((std::uint64_t{m} + perChunk - 1) / perChunk);
        // A chunk's items: [chunkFirst(c), chunkEnd(c)).
        auto chunkFirst = [&](std::uint32_t c) { return firstItem + c * perChunk; };
        auto chunkEnd = [&](std::uint32_t c) {
            return firstItem +
                   static_cast<std::uint32_t>(std::min<std::uint64_t>(m, (c + 1ull) * perChunk));
        };
        // Workers stay at most this many chunks ahead of the booking, which bounds the body
        // copies held before the budget has judged them.
        const std::uint32_t ahead = 4 * threads;
        struct Chunk {
            std::vector<SummaryPlace> places;  // per loaded item, in order
            BlockClaims claims;
            std::exception_ptr failure;
            bool done = false;
        };
        std::vector<Chunk> state(chunks);
        std::mutex mutex;
        std::condition_variable changed;
        std::uint32_t next = 0, booked = 0;
        std::atomic<bool> quit{false};

        // On a cold disk a chunk's blocks are read in the background while the chunks before
        // it load: each worker taking a chunk announces the one the next free worker will take.
        auto announce = [&](std::uint32_t c) {
            if (c < chunks) announceItemBlocks(chunkFirst(c), chunkEnd(c));
        };
        for (std::uint32_t c = 0; c < threads; ++c)
            announce(c);
        auto work = [&] {
            for (;;) {
                std::uint32_t c;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock,
                                 [&] { return quit || next >= chunks || next < booked + ahead; });
                    if (quit || next >= chunks) return;
                    c = next++;
                }
                announce(c + threads);
                Chunk& k = state[c];
                const std::uint32_t end = chunkEnd(c);
                try {
                    k.places.reserve(end - chunkFirst(c));
                    // A stop ends the chunk early; the booking then ends the pass.
                    loadChunk(chunkFirst(c), end, claims_ ? &k.claims : nullptr, k.places,
                              [&] { return !base_.stopped() && !quit; });
                } catch (...) {
                    k.failure = std::current_exception();
                }
                {
                    std::lock_guard lock(mutex);
                    k.done = true;
                }
                changed.notify_all();
            }
        };
        WorkerThreads workers(threads, work, [&] {
            {
                std::lock_guard lock(mutex);
                quit = true;
            }
            changed.notify_all();
        });
        if (workers.count() == 0) return false;

        for (std::uint32_t c = 0; c < chunks; ++c) {
            {
                std::unique_lock lock(mutex);
                while (!changed.wait_for(lock, kStopPoll, [&] { return state[c].done; }))
                    base_.checkpoint();
            }
            Chunk& k = state[c];
            if (k.failure) std::rethrow_exception(k.failure);
            base_.checkpoint();
            const std::uint32_t first = chunkFirst(c);
            if (first + k.places.size() != chunkEnd(c)) throw PassAborted{"stopped"};
            for (std::uint32_t j = 0; j < k.places.size(); ++j) {
                bookItem(first + j, k.places[j]);
                progress.itemDone(base_, first - firstItem + j);
            }
            k.places = {};
            if (claims_) claims_->append(std::move(k.claims));
            {
                std::lock_guard lock(mutex);
                booked = c + 1;
            }
            changed.notify_all();
        }
        return true;
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

    RecoveredBase& base_;
    EncodingVote vote_;
    MapNode map_;
    std::vector<FolderEntry> orphans_;
    BlockClaims* claims_ = nullptr;  // set while loads gather what internal blocks name
};

}  // namespace

void recoverMessageBase(RecoveredBase& base) {
    try {
        Pass(base).run();
    } catch (...) {
        // Tables built so far stay until the next reset.
        base.resultOk = 0;
    }
}

void openMessageBase(RecoveredBase& base) {
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
