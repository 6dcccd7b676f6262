#include "message/item_damage.h"

#include <algorithm>
#include <unordered_map>

#include "engine/block_check.h"
#include "engine/ndb_format.h"
#include "message/load_message.h"
#include "message/node_data.h"

namespace brevik {
namespace {

// Where a failing block belongs, before the item is read to name it.
enum class Owner : std::uint8_t { Properties, ValueSubnode, Recipients, Attachments, Attachment };

struct Failure {
    Owner owner = Owner::Properties;
    std::uint32_t nodeId = 0;           // the top-level subnode it lies under
    BlockIndex subnodeData = kNoBlock;  // that subnode's data block
    std::uint64_t offset = 0;
};

// Checks the blocks of one node's data; a tree that stops early counts its own block as failing.
void checkNodeData(MessageBase& base, BlockIndex index, const Failure& where,
                   std::vector<Failure>& out) {
    std::vector<BlockIndex> blocks;
    const bool whole = nodeDataBlocks(base, index, blocks);
    for (const BlockIndex b : blocks) {
        const BlockEntry& e = base.blockTable[static_cast<std::size_t>(b)];
        if (checkBlock(base, e) != BlockFault::None) {
            out.push_back(where);
            out.back().offset = e.fileOffset;
        }
    }
    if (!whole && !blocks.empty()) {
        out.push_back(where);
        out.back().offset = base.blockTable[static_cast<std::size_t>(blocks.front())].fileOffset;
    }
}

Owner ownerOf(std::uint32_t nodeId) {
    if (nodeId == ndb::kNidRecipientTable) return Owner::Recipients;
    if (nodeId == ndb::kNidAttachmentTable) return Owner::Attachments;
    if ((nodeId & ndb::kNidTypeMask) == ndb::kNidTypeAttachment) return Owner::Attachment;
    return Owner::ValueSubnode;
}

bool storedIn(const ValueLocator& locator, BlockIndex subnodeData) {
    return locator.length == 0 && locator.position == subnodeData && subnodeData != kNoBlock;
}

std::string attachmentPart(const MessageRecord* record, std::uint32_t nodeId) {
    if (record) {
        for (std::size_t k = 0; k < record->attachments.size(); ++k) {
            const AttachmentRecord& a = record->attachments[k];
            if (a.rowId != nodeId) continue;
            std::string part = "attachment " + std::to_string(k + 1);
            for (const StringSlot* name : {&a.longFileName, &a.fileName, &a.displayName})
                if (*name && !(*name)->empty()) return part + " (" + **name + ")";
            return part;
        }
    }
    return "attachments";
}

std::string partName(const Failure& f, const MessageRecord* record) {
    switch (f.owner) {
        case Owner::Recipients:
            return "recipients";
        case Owner::Attachments:
            return "attachments";
        case Owner::Attachment:
            return attachmentPart(record, f.nodeId);
        case Owner::ValueSubnode:
            if (record) {
                const MessageEnvelope& env = record->envelope;
                if (storedIn(env.bodyLocator, f.subnodeData) ||
                    storedIn(env.htmlLocator, f.subnodeData) ||
                    storedIn(env.compressedRtfLocator, f.subnodeData))
                    return "body";
            }
            return "properties";
        case Owner::Properties:
            break;
    }
    return "properties";
}

// Parts in the order a reader meets them: the item, its body, recipients, attachments.
int partRank(const std::string& name) {
    if (name == "properties") return 0;
    if (name == "body") return 1;
    if (name == "recipients") return 2;
    if (name == "attachments") return 3;
    return 4;
}

}  // namespace

std::vector<DamagedPart> inspectItem(MessageBase& base, std::uint32_t itemIndex) {
    if (itemIndex >= base.messageEntries.size()) return {};
    const MessageNodeEntry& entry = base.messageEntries[itemIndex];
    std::vector<Failure> failures;
    checkNodeData(base, entry.dataIndex, Failure{}, failures);
    if (entry.subnodeIndex != kNoBlock) {
        const BlockEntry& list = base.blockTable[static_cast<std::size_t>(entry.subnodeIndex)];
        if (checkBlock(base, list) != BlockFault::None)
            failures.push_back({Owner::Attachments, 0, kNoBlock, list.fileOffset});
    }
    // Nested subnodes belong to the top-level subnode above them (an attachment's data, an
    // embedded message's parts): found by the data block of the subnode that listed them.
    std::unordered_map<BlockIndex, const SubnodeEntry*> byData;
    for (const SubnodeEntry& s : entry.subnodes)
        byData.emplace(s.dataIndex, &s);
    for (const SubnodeEntry& s : entry.subnodes) {
        const SubnodeEntry* top = &s;
        for (int depth = 0; top->ownerDataIndex != 0 && depth < 16; ++depth) {
            const auto up = byData.find(top->ownerDataIndex);
            if (up == byData.end()) break;
            top = up->second;
        }
        const Failure where{ownerOf(top->nodeId), top->nodeId, top->dataIndex, 0};
        checkNodeData(base, s.dataIndex, where, failures);
    }
    if (failures.empty()) return {};

    // Only now is the item read, for the names of the parts.
    const std::shared_ptr<MessageRecord> record = loadItemRecord(base, itemIndex);
    std::vector<DamagedPart> parts;
    for (const Failure& f : failures) {
        const std::string name = partName(f, record.get());
        auto it = std::find_if(parts.begin(), parts.end(),
                               [&](const DamagedPart& p) { return p.name == name; });
        if (it == parts.end()) it = parts.insert(parts.end(), DamagedPart{name, {}});
        it->blockOffsets.push_back(f.offset);
    }
    for (DamagedPart& p : parts) {
        std::sort(p.blockOffsets.begin(), p.blockOffsets.end());
        p.blockOffsets.erase(std::unique(p.blockOffsets.begin(), p.blockOffsets.end()),
                             p.blockOffsets.end());
    }
    std::stable_sort(parts.begin(), parts.end(), [](const DamagedPart& a, const DamagedPart& b) {
        return partRank(a.name) < partRank(b.name);
    });
    return parts;
}

const DamagedItem* findDamage(const std::vector<DamagedItem>& damaged, std::uint32_t item) {
    const auto it =
        std::lower_bound(damaged.begin(), damaged.end(), item,
                         [](const DamagedItem& d, std::uint32_t i) { return d.item < i; });
    return it != damaged.end() && it->item == item ? &*it : nullptr;
}

std::string partNames(const std::vector<DamagedPart>& parts) {
    std::string out;
    for (const DamagedPart& p : parts)
        out += (out.empty() ? "" : ", ") + p.name;
    return out;
}

}  // namespace brevik
