#include "message/load_message.h"

#include <algorithm>
#include <unordered_map>

#include "engine/index_tables.h"
#include "engine/ndb_format.h"
#include "engine/read_window.h"
#include "message/interpret_properties.h"
#include "message/node_data.h"
#include "message/property_reader.h"
#include "message/property_tags.h"

namespace brevik {
namespace {

// The first subnode entry per node id, in list order.
class SubnodeIndex {
  public:
    explicit SubnodeIndex(const std::vector<SubnodeEntry>& subnodes) {
        first_.reserve(subnodes.size());
        for (const SubnodeEntry& s : subnodes)
            first_.emplace(s.nodeId, &s);
    }
    const SubnodeEntry* find(std::uint32_t nid) const {
        auto it = first_.find(nid);
        return it == first_.end() ? nullptr : it->second;
    }

  private:
    std::unordered_map<std::uint32_t, const SubnodeEntry*> first_;
};

void loadRecipients(MessageBase& base, const MessageNodeEntry& entry, MessageRecord& record) {
    // Only the item's own table: one below another subnode belongs to an embedded message.
    const auto it = std::find_if(entry.subnodes.begin(), entry.subnodes.end(), [](const auto& s) {
        return s.nodeId == ndb::kNidRecipientTable && s.ownerDataIndex == 0;
    });
    if (it == entry.subnodes.end()) return;
    PropertyList rows;
    if (readPropertyList(base, rows, it->dataIndex, entry.subnodes, false) == -1 || rows.empty())
        return;
    record.recipients.assign(rows.size(), RecipientRecord{});
    fillRecipients(&base, rows, record);
}

void appendMsg(StringSlot& name) {
    if (name) name->append(".msg");
}

void loadAttachments(MessageBase& base, const MessageNodeEntry& entry, MessageRecord& record,
                     LoadScope scope) {
    const SubnodeIndex index(entry.subnodes);
    const SubnodeEntry* table = index.find(ndb::kNidAttachmentTable);
    if (!table) return;
    const PropertyFilter keep = scope == LoadScope::Summary ? &summaryAttachmentProperty : nullptr;
    PropertyList rows;
    if (readPropertyList(base, rows, table->dataIndex, entry.subnodes, false, ReadMode::Records,
                         keep) == -1)
        return;
    record.attachments.assign(rows.size(), AttachmentRecord{});
    record.currentAttachment = 0;
    interpretProperties(&base, rows, record, scope);
    // Attachments the table described count even when their own properties cannot be read.
    const std::uint32_t described = record.currentAttachment;

    for (std::size_t k = 0; k < record.attachments.size(); ++k) {
        const SubnodeEntry* own = index.find(record.attachments[k].rowId);
        if (!own) continue;
        if (readPropertyList(base, rows, own->dataIndex, entry.subnodes, false, ReadMode::Records,
                             keep) == -1 ||
            rows.size() != 1)
            continue;
        record.currentAttachment = static_cast<std::uint32_t>(k);
        interpretProperties(&base, rows, record, scope);
        AttachmentRecord& att = record.attachments[k];
        if (att.method == kAttachEmbeddedMessage) {
            appendMsg(att.displayName);
            appendMsg(att.fileName);
            appendMsg(att.longFileName);
        }
    }
    record.currentAttachment = std::max(record.currentAttachment, described);
}

// Reads an item's own properties, recipients and attachments. `result` becomes -1 when a fault
// stopped the work; the record keeps what was filled.
std::shared_ptr<MessageRecord> readItemRecord(MessageBase& base, const MessageNodeEntry& entry,
                                              int& result, LoadScope scope = LoadScope::Full) {
    std::shared_ptr<MessageRecord> record;
    try {
        PropertyList rows;
        if (readPropertyList(base, rows, entry.dataIndex, entry.subnodes, false, ReadMode::Records,
                             scope == LoadScope::Summary ? &summaryProperty : nullptr) == -1)
            return nullptr;
        record = makeItemRecord();
        interpretProperties(&base, rows, *record, scope);
        rows.clear();
        if (scope == LoadScope::Full) loadRecipients(base, entry, *record);
        loadAttachments(base, entry, *record, scope);
    } catch (...) {
        result = -1;
    }
    return record;
}

}  // namespace

std::string trimSpaces(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return std::string(s.substr(first, last - first + 1));
}

int fillRecipients(MessageBase* base, const PropertyList& rows, MessageRecord& record) {
    if (record.recipients.size() < rows.size()) record.recipients.resize(rows.size());
    const std::uint32_t codepage = record.codepage ? record.codepage : kDefaultCodepage;
    std::size_t slot = 0;
    for (const PropertyRow& row : rows) {
        if (slot >= record.recipients.size()) break;
        RecipientRecord& r = record.recipients[slot];
        bool hasEntryId = false;
        for (const PropertyValue& v : row) {
            switch (v.id) {
                case pid::kDisplayName:
                    storeStringValue(base, r.displayName, v, codepage);
                    if (r.displayName) r.displayName = trimSpaces(*r.displayName);
                    break;
                case pid::kAddressType:
                    storeStringValue(base, r.addressType, v, codepage);
                    break;
                case pid::kEmailAddress:
                    storeStringValue(base, r.emailAddress, v, codepage);
                    break;
                case pid::kEntryId:
                    storeStringValue(base, r.entryId, v, codepage);
                    r.entryIdLength = static_cast<std::uint16_t>(v.size());
                    hasEntryId = true;
                    break;
                case pid::kRecipientType:
                    if (v.data && v.data->size() >= 4) r.recipientType = load32(v.data->data());
                    break;
                default:
                    break;
            }
        }
        // A row with neither an entry id nor a name or address of its own is not a recipient
        // of its own: the next row fills the same record. One with a name or an address is,
        // even without an entry id (files other programs write often have none), else its
        // recipient would be overwritten by the next.
        if (hasEntryId || r.displayName || r.emailAddress) ++slot;
    }
    return 1;
}

int loadMessage(MessageBase& base, std::uint32_t itemIndex, LoadScope scope) {
    if (itemIndex >= base.messageEntries.size()) return -1;
    MessageNodeEntry& entry = base.messageEntries[itemIndex];
    int result = 0;
    entry.record = readItemRecord(base, entry, result, scope);
    return entry.record ? result : -1;
}

void readItemsAhead(MessageBase& base, ReadWindow& window, std::span<const std::uint32_t> items) {
    std::vector<const MessageNodeEntry*> entries;
    std::vector<BlockIndex> blocks;
    for (std::uint32_t i : items) {
        if (i >= base.messageEntries.size()) continue;
        entries.push_back(&base.messageEntries[i]);
        blocks.push_back(entries.back()->dataIndex);
        blocks.push_back(entries.back()->subnodeIndex);
    }
    window.readBlocks(blocks);
    blocks.clear();
    std::vector<SubnodeEntry> subnodes;
    for (const MessageNodeEntry* e : entries)
        if (e->subnodeIndex != kNoBlock)
            readSubnodeList(base, subnodes, e->subnodeIndex, 0, 0, nullptr, &blocks);
    window.readBlocks(blocks);
    subnodes.clear();
    for (const MessageNodeEntry* e : entries)
        if (e->subnodeIndex != kNoBlock) readSubnodeList(base, subnodes, e->subnodeIndex, 0, 0);
    blocks.clear();
    for (const SubnodeEntry& s : subnodes)
        blocks.push_back(s.dataIndex);
    window.readBlocks(blocks);
    std::vector<BlockIndex> leaves;
    for (const MessageNodeEntry* e : entries)
        appendTreeLeaves(base, e->dataIndex, leaves);
    for (BlockIndex b : blocks)
        appendTreeLeaves(base, b, leaves);
    window.readBlocks(leaves);
}

void loadWithItemsAhead(MessageBase& base, std::span<const std::uint32_t> items,
                        const std::function<void()>& load) {
    ReadWindow window(base);
    readItemsAhead(base, window, items);
    load();
}

std::shared_ptr<MessageRecord> loadItemRecord(MessageBase& base, std::uint32_t itemIndex) {
    if (itemIndex >= base.messageEntries.size()) return nullptr;
    int result = 0;
    return readItemRecord(base, base.messageEntries[itemIndex], result);
}

}  // namespace brevik
