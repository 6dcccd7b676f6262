// Classifying the node table: folders and items, one entry for each, the copies of an item kept
// or dropped, and a sample of their data for the encoding vote.
#include <functional>
#include <optional>
#include <unordered_map>

#include "engine/block_data.h"
#include "engine/index_tables.h"
#include "engine/large_pages.h"
#include "engine/ndb_format.h"
#include "recovery/pass.h"
#include "recovery/recovery_pass.h"

namespace brevik {
namespace {

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

class NodeClassifier {
  public:
    NodeClassifier(RecoveredBase& base, EncodingVote& vote)
        : base_(base), vote_(vote), copies_(base.blockTable.size(), base.messageNodeCount) {
        folderAt_.reserve(base_.folderCapacity);
    }

    MapNode run() {
        for (const NodeEntry& n : base_.nodeTable) {
            if (n.nodeId < ndb::kFirstMessageNodeId && n.parentNodeId != 0) {
                // Only folder and search-folder node types name folders; anything else with a
                // parent (node id 0 among them) is a garbled entry of a reused page.
                const std::uint32_t type = ndb::nidType(n.nodeId);
                if (type == ndb::kNidTypeNormalFolder || type == ndb::kNidTypeSearchFolder)
                    folder(n);
            } else if (n.nodeId >= ndb::kFirstMessageNodeId)
                message(n);
            if (n.nodeId == ndb::kNidNameToIdMap) {
                const BlockIndex data = findBlock(base_, n.dataBid);
                if (data != kNoBlock && !map_.reachable)
                    map_ = {data, findBlock(base_, n.subnodeBid), n.reachable != 0};
            }
            vote_.afterEntry();
        }
        return map_;
    }

  private:
    void noteWithoutData(const NodeEntry& n) {
        ++base_.dropped.nodesWithoutData;
        base_.damage.note(
            n.reachable ? DamageKind::LiveNodeWithoutData : DamageKind::StaleIndexEntries,
            n.pageOffset);
    }

    void sample(BlockIndex data) {
        if (!vote_.sampling()) return;
        const BlockEntry& e = base_.blockTable[data];
        if (!isDeflated(base_, e)) {
            vote_.sampleBlock(base_, e.fileOffset, e.blockId);
            return;
        }
        // The signature lies inside the deflated stream.
        const Bytes bytes = readBlockData(base_, e);
        if (bytes.size() >= 4) vote_.addSample(bytes[2], bytes[3], e.blockId);
    }

    void folder(const NodeEntry& n) {
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
        auto [it, isNew] =
            folderAt_.emplace(folderKey(n.nodeId, n.parentNodeId),
                              static_cast<std::uint32_t>(base_.folderEntries.size()));
        if (!isNew) {
            // A live copy replaces a stale one found earlier.
            if (n.reachable) base_.folderEntries[it->second] = f;
            return;
        }
        sample(data);
        base_.folderEntries.push_back(std::move(f));
    }

    void message(const NodeEntry& n) {
        const BlockIndex data = findBlock(base_, n.dataBid);
        if (data == kNoBlock) {
            noteWithoutData(n);
            return;
        }
        const BlockIndex sub = findBlock(base_, n.subnodeBid);
        sample(data);
        const MessageKey key{data, sub, n.parentNodeId};
        EarlierCopies* group = copies_.find(key);
        if (group && isDuplicate(n, *group)) return;
        if (base_.blockTable[data].fileOffset == 0) return;
        MessageNodeEntry m;
        m.nodeId = n.nodeId;
        m.dataIndex = data;
        m.subnodeIndex = sub;
        m.parentNodeId = n.parentNodeId;
        m.reachable = n.reachable;
        const auto index = static_cast<std::uint32_t>(base_.messageEntries.size());
        base_.messageEntries.push_back(std::move(m));
        if (!group) group = &copies_.add(key, index);
        if (!n.reachable) group->unreachable.push_back(index);
    }

    // The first earlier copy of which not both are reachable makes `n` a duplicate; a live
    // duplicate makes that copy live.
    bool isDuplicate(const NodeEntry& n, EarlierCopies& c) {
        std::optional<std::uint32_t> match;
        if (!n.reachable)
            match = c.first;
        else if (c.taken < c.unreachable.size())
            match = c.unreachable[c.taken];
        if (!match) return false;
        ++base_.dropped.duplicateItems;
        if (n.reachable) {
            MessageNodeEntry& earlier = base_.messageEntries[*match];
            earlier.nodeId = n.nodeId;
            earlier.reachable = 1;
            ++c.taken;
        }
        return true;
    }

    RecoveredBase& base_;
    EncodingVote& vote_;
    CopyGroups copies_;
    std::unordered_map<std::uint64_t, std::uint32_t, KeyHash> folderAt_;
    MapNode map_;
};

}  // namespace

MapNode classifyNodes(RecoveredBase& base, EncodingVote& vote) {
    return NodeClassifier(base, vote).run();
}

}  // namespace brevik
