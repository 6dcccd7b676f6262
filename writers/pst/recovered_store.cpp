#include "writers/pst/recovered_store.h"

#include <functional>
#include <unordered_set>

#include "engine/index_tables.h"
#include "engine/ndb_format.h"
#include "message/load_message.h"
#include "message/property_reader.h"
#include "recovery/folder_tree.h"
#include "writers/pst/ordered_prefetch.h"
#include "writers/pst/write_pst_file.h"

namespace brevik::pst {
namespace {

constexpr int kMaxEmbeddingDepth = 16;

// A value as the writer takes it: the reader hands inline values over as four bytes.
Bytes carriedValue(const PropertyValue& v) {
    Bytes value = *v.data;
    if (const std::size_t width = fixedTypeWidth(v.type)) value.resize(width, 0);
    return value;
}

class ItemReader {
  public:
    ItemReader(RecoveredBase& base, const RecoveredNames& names) : base_(base), names_(names) {}

    std::optional<Item> read(std::uint32_t itemIndex) {
        const MessageNodeEntry& e = base_.messageEntries[itemIndex];
        std::vector<SubnodeEntry> all;
        if (e.subnodeIndex != kNoBlock) readSubnodeList(base_, all, e.subnodeIndex, 0, 0);
        // Group the flattened entries by the subnode that listed them.
        byOwner_.clear();
        for (const SubnodeEntry& s : all)
            byOwner_[ownerKey(s.ownerNodeId, s.ownerDataIndex)].push_back(s);
        if (e.source == ItemSource::TableRow) {
            // Only its row in the folder's table is left, and whatever subnodes still read.
            const auto row = base_.tableRowValues.find(e.nodeId);
            if (row == base_.tableRowValues.end()) return std::nullopt;
            Item item;
            item.properties = convert(row->second, true);
            addSubnodes(item, nullptr, 0);
            return item;
        }
        return readMessage(e.dataIndex, nullptr, 0);
    }
    std::uint64_t dropped = 0;

  private:
    static std::uint64_t ownerKey(std::uint32_t nid, BlockIndex dataIndex) {
        return (std::uint64_t{nid} << 32) | static_cast<std::uint32_t>(dataIndex);
    }
    // Entries listed by `owner`'s own subnode block (the top level for null).
    const std::vector<SubnodeEntry>& childrenOf(const SubnodeEntry* owner) const {
        static const std::vector<SubnodeEntry> kNone;
        const auto it = byOwner_.find(owner ? ownerKey(owner->nodeId, owner->dataIndex) : 0);
        return it == byOwner_.end() ? kNone : it->second;
    }
    static const SubnodeEntry* find(const std::vector<SubnodeEntry>& list, std::uint32_t nid) {
        for (const SubnodeEntry& s : list)
            if (s.nodeId == nid) return &s;
        return nullptr;
    }

    PropertyList convert(const PropertyRow& row, bool tableRow) {
        PropertyList out;
        out.reserve(row.size());
        for (const PropertyValue& v : row) {
            if (!v.present()) continue;
            if (tableRow && (v.id == pid::kLtpRowId || v.id == pid::kLtpRowVer)) continue;
            if (!v.data || v.type == ptypes::kObject) {  // objects are carried by the caller
                if (v.type != ptypes::kObject) ++dropped;
                continue;
            }
            std::uint32_t id = v.id;
            if (id >= kFirstNamedPropertyId) {
                const auto it = names_.byId.find(id);
                if (it == names_.byId.end()) {
                    ++dropped;
                    continue;
                }
                id = it->second;
            }
            out.push_back({static_cast<std::uint16_t>(id), v.type, carriedValue(v)});
        }
        return out;
    }

    brevik::PropertyList readRows(BlockIndex dataIndex, const std::vector<SubnodeEntry>& subs) {
        brevik::PropertyList rows;
        if (dataIndex == kNoBlock ||
            readPropertyList(base_, rows, dataIndex, subs, true, ReadMode::Complete) == -1)
            rows.clear();
        return rows;
    }

    std::optional<Item> readMessage(BlockIndex dataIndex, const SubnodeEntry* self, int depth) {
        const std::vector<SubnodeEntry>& children = childrenOf(self);
        const brevik::PropertyList own = readRows(dataIndex, children);
        if (own.empty()) return std::nullopt;
        Item item;
        item.properties = convert(own[0], false);
        addSubnodes(item, self, depth);
        return item;
    }

    // The recipients and attachments that `self`'s subnodes (an item's own: null) hold.
    void addSubnodes(Item& item, const SubnodeEntry* self, int depth) {
        const std::vector<SubnodeEntry>& children = childrenOf(self);
        if (const SubnodeEntry* table = find(children, ndb::kNidRecipientTable))
            for (const PropertyRow& row : readRows(table->dataIndex, childrenOf(table)))
                item.recipients.push_back({convert(row, true)});

        // Attachments in table order, then any attachment node the table does not list.
        std::vector<std::uint32_t> nids;
        std::unordered_set<std::uint32_t> listed;
        if (const SubnodeEntry* table = find(children, ndb::kNidAttachmentTable))
            for (const PropertyRow& row : readRows(table->dataIndex, childrenOf(table)))
                for (const PropertyValue& v : row)
                    if (v.id == pid::kLtpRowId && v.data && v.data->size() >= 4 &&
                        listed.insert(load32(v.data->data())).second)
                        nids.push_back(load32(v.data->data()));
        for (const SubnodeEntry& s : children)
            if (ndb::nidType(s.nodeId) == ndb::kNidTypeAttachment && listed.insert(s.nodeId).second)
                nids.push_back(s.nodeId);
        for (std::uint32_t nid : nids) {
            const SubnodeEntry* node = find(children, nid);
            const brevik::PropertyList rows =
                node ? readRows(node->dataIndex, childrenOf(node)) : brevik::PropertyList{};
            if (rows.empty()) {
                ++dropped;
                continue;
            }
            Attachment a;
            for (Property& p : convert(rows[0], false))
                if (p.id != pid::kAttachDataObject) a.properties.push_back(std::move(p));
            for (const PropertyValue& v : rows[0]) {
                if (v.id != pid::kAttachDataObject || !v.data) continue;
                if (v.type == ptypes::kObject) {
                    // Our reader follows the object to its subnode and leaves that subnode's
                    // data index in the locator; unresolved, the value is {nid, size}.
                    const std::vector<SubnodeEntry>& inners = childrenOf(node);
                    const SubnodeEntry* inner = nullptr;
                    if (v.locator.length == 0) {
                        for (const SubnodeEntry& c : inners)
                            if (c.dataIndex == v.locator.position && c.dataIndex != kNoBlock) {
                                inner = &c;
                                break;
                            }
                    } else if (v.data->size() >= 4) {
                        inner = find(inners, load32(v.data->data()));
                    }
                    if (inner && depth < kMaxEmbeddingDepth)
                        if (auto embedded = readMessage(inner->dataIndex, inner, depth + 1))
                            a.embedded = std::make_shared<Item>(std::move(*embedded));
                    if (!a.embedded) ++dropped;
                } else {
                    a.data = *v.data;
                }
            }
            item.attachments.push_back(std::move(a));
        }
    }

    RecoveredBase& base_;
    const RecoveredNames& names_;
    std::unordered_map<std::uint64_t, std::vector<SubnodeEntry>> byOwner_;
};

std::optional<NamedProperty> namedProperty(const RecoveredBase& base, const NamedPropertyEntry& e) {
    NamedProperty n;
    const std::uint32_t guidIndex = (e.guidWord & 0xFFFF) >> 1;
    if (guidIndex == 1)
        n.guid = kPsMapi;
    else if (guidIndex == 2)
        n.guid = kPsPublicStrings;
    else if (guidIndex >= 3 && guidIndex - 3 < base.namedPropGuids.size())
        n.guid = base.namedPropGuids[guidIndex - 3];
    else
        return std::nullopt;
    n.isString = (e.guidWord & 1) != 0;
    n.numericId = e.numericId;
    n.name = e.name;
    return n;
}

// The node id named by an entry id of the source's message store (its last four bytes).
std::uint32_t storeFolderNid(RecoveredBase& base, std::uint32_t propertyId) {
    for (const NodeEntry& n : base.nodeTable) {
        if (n.nodeId != ndb::kNidMessageStore || !n.reachable) continue;
        brevik::PropertyList rows;
        if (readPropertyList(base, rows, findBlock(base, n.dataBid), {}, true,
                             ReadMode::Complete) == -1 ||
            rows.empty())
            return 0;
        for (const PropertyValue& v : rows[0])
            if (v.id == propertyId && v.data && v.data->size() >= 24)
                return load32(v.data->data() + v.data->size() - 4);
    }
    return 0;
}

}  // namespace

RecoveredNames recoveredNames(const RecoveredBase& base) {
    RecoveredNames names;
    for (const NamedPropertyEntry& e : base.namedProps) {
        if (names.byId.count(e.propertyId) || names.table.size() >= 0x7FFF) continue;
        const auto n = namedProperty(base, e);
        if (!n) continue;
        names.byId.emplace(e.propertyId,
                           static_cast<std::uint16_t>(kFirstNamedPropertyId + names.table.size()));
        names.table.push_back(*n);
    }
    return names;
}

std::optional<Item> recoveredItem(RecoveredBase& base, std::uint32_t itemIndex,
                                  const RecoveredNames& names, std::uint64_t* dropped) {
    if (itemIndex >= base.messageEntries.size()) return std::nullopt;
    ItemReader reader(base, names);
    auto item = reader.read(itemIndex);
    if (dropped) *dropped += reader.dropped;
    return item;
}

namespace {
std::uint64_t heldBytes(const PropertyList& list) {
    std::uint64_t n = 0;
    for (const Property& p : list)
        n += p.value.size() + sizeof(Property);
    return n;
}
}  // namespace

std::uint64_t heldBytes(const Item& item) {
    std::uint64_t n = heldBytes(item.properties);
    for (const Recipient& r : item.recipients)
        n += heldBytes(r.properties);
    for (const Attachment& a : item.attachments)
        n += heldBytes(a.properties) + a.data.size() + (a.embedded ? heldBytes(*a.embedded) : 0);
    return n;
}

std::vector<FolderTreeNode*> folderPreorder(FolderTreeNode* start) {
    std::vector<FolderTreeNode*> order;
    std::unordered_set<const FolderTreeNode*> seen;
    for (std::vector<FolderTreeNode*> stack{start}; start && !stack.empty();) {
        FolderTreeNode* n = stack.back();
        stack.pop_back();
        if (!n || !seen.insert(n).second) continue;
        order.push_back(n);
        std::vector<FolderTreeNode*> children;
        for (FolderTreeNode* c = n->firstChild; c; c = c->nextSibling)
            children.push_back(c);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    return order;
}

std::pair<std::uint32_t, std::uint32_t> folderItemRange(const RecoveredBase& base,
                                                        const FolderTreeNode* n,
                                                        std::uint32_t itemCount) {
    if (n->folderIndex >= base.folderEntries.size()) return {0, 0};
    const FolderEntry& f = base.folderEntries[n->folderIndex];
    return {std::min(f.firstItem, itemCount), std::min(f.endItem, itemCount)};
}

std::unordered_set<const FolderTreeNode*> foldersLeadingTo(
    const RecoveredBase& base, const std::vector<FolderTreeNode*>& order,
    const std::vector<bool>& wanted, bool all) {
    std::unordered_set<const FolderTreeNode*> needed;
    const auto itemCount = static_cast<std::uint32_t>(wanted.size());
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const FolderTreeNode* n = *it;
        bool need = all;
        const auto [first, end] = folderItemRange(base, n, itemCount);
        for (std::uint32_t i = first; i < end && !need; ++i)
            need = wanted[i];
        for (const FolderTreeNode* c = n->firstChild; c && !need; c = c->nextSibling)
            need = needed.count(c) != 0;
        if (need) needed.insert(n);
    }
    return needed;
}

std::vector<std::uint32_t> writeSequence(const RecoveredBase& base,
                                         const std::vector<FolderTreeNode*>& order,
                                         const std::unordered_set<const FolderTreeNode*>& needed,
                                         const std::vector<bool>& wanted) {
    const auto itemCount = static_cast<std::uint32_t>(wanted.size());
    std::vector<std::uint32_t> sequence;
    std::vector<bool> placed(itemCount, false);
    auto place = [&](std::uint32_t i) {
        if (wanted[i] && !placed[i]) {
            placed[i] = true;
            sequence.push_back(i);
        }
    };
    for (const FolderTreeNode* n : order) {
        if (!needed.count(n)) continue;
        const auto [first, end] = folderItemRange(base, n, itemCount);
        for (std::uint32_t i = first; i < end; ++i)
            place(i);
    }
    for (std::uint32_t i = 0; i < itemCount; ++i)
        place(i);
    return sequence;
}

RecoveredWriteResult writeRecoveredStore(RecoveredBase& base, const std::string& destination,
                                         const RecoveredWriteOptions& options) {
    RecoveredWriteResult result;
    const std::uint32_t itemCount = std::min<std::uint32_t>(
        base.itemCount, static_cast<std::uint32_t>(base.messageEntries.size()));
    std::vector<bool> wanted(itemCount, options.selectedItems == nullptr);
    if (options.selectedItems)
        for (std::uint32_t index : *options.selectedItems) {
            if (index < itemCount)
                wanted[index] = true;
            else
                ++result.skippedSelections;
        }
    std::uint64_t total = 0;
    for (bool w : wanted)
        total += w;

    // Tree nodes in pre-order from the root (or the top when there is no root).
    const std::vector<FolderTreeNode*> order =
        folderPreorder(base.rootNode ? base.rootNode : base.topNode);
    auto folderRange = [&](const FolderTreeNode* n) { return folderItemRange(base, n, itemCount); };
    const std::unordered_set<const FolderTreeNode*> needed =
        foldersLeadingTo(base, order, wanted, options.selectedItems == nullptr);

    const RecoveredNames names = recoveredNames(base);
    PstWriterOptions writerOptions;
    writerOptions.permute = options.permute;
    writerOptions.maxFileBytes = options.maxFileBytes;
    writerOptions.stop = options.stop;
    writerOptions.displayName = base.fileName.empty() ? "Recovered" : base.fileName;

    // The source's wastebasket and search root become the written file's own.
    const std::uint32_t wastebasket = storeFolderNid(base, pid::kIpmWastebasketEntryId);
    const std::uint32_t finder = storeFolderNid(base, pid::kFinderEntryId);
    struct Read {
        std::optional<Item> item;   // empty: unreadable
        std::uint64_t dropped = 0;  // values that could not be carried over
    };
    OrderedPrefetch<Read> prefetch(
        writeSequence(base, order, needed, wanted), options.threads,
        [&](std::uint32_t i) {
            Read read;
            read.item = recoveredItem(base, i, names, &read.dropped);
            return read;
        },
        [](const Read& read) { return read.item ? heldBytes(*read.item) : 0; },
        std::bind_front(loadWithItemsAhead, std::ref(base)));

    std::uint64_t done = 0;
    int lastPercent = -1;
    std::vector<bool> written(itemCount, false);
    auto writeItem = [&](PstWriter& w, FolderId folder, std::uint32_t i) {
        written[i] = true;
        const Read& read = prefetch.next(i);
        result.droppedValues += read.dropped;
        const std::optional<Item>& item = read.item;
        if (!item) {
            ++result.unreadableItems;
        } else {
            const bool associated =
                ndb::nidType(base.messageEntries[i].nodeId) == ndb::kNidTypeAssociatedMessage;
            if (!w.addItem(folder, *item, associated)) return false;
            ++result.items;
        }
        const int percent = static_cast<int>(++done * 100 / std::max<std::uint64_t>(total, 1));
        if (options.progress && percent != lastPercent) options.progress(percent);
        lastPercent = percent;
        return true;
    };

    result.status = writePstFile(destination, options.tempFolder, writerOptions, [&](PstWriter& w) {
        w.setNamedProperties(names.table);
        std::unordered_map<const FolderTreeNode*, FolderId> ids;
        std::unordered_set<FolderId> mapped;
        for (FolderTreeNode* n : order) {
            if (!needed.count(n)) continue;
            const FolderEntry& f = base.folderEntries.at(n->folderIndex);
            const auto parentIt = ids.find(n->parent);
            const FolderId parent =
                parentIt == ids.end() ? kTopOfPersonalFolders : parentIt->second;
            FolderId id;
            if (n == base.topNode) {
                id = kTopOfPersonalFolders;
            } else if (n == base.rootNode) {
                id = kRootFolder;
            } else if (wastebasket != 0 && f.nodeId == wastebasket && !f.orphanGroup &&
                       !mapped.count(kDeletedItemsFolder)) {
                id = kDeletedItemsFolder;
            } else if (finder != 0 && f.nodeId == finder && !f.orphanGroup &&
                       !mapped.count(kSearchRootFolder)) {
                id = kSearchRootFolder;
            } else {
                Folder folder;
                folder.displayName = std::string(folderName(base, n->folderIndex));
                if (!f.orphanGroup && f.dataIndex != kNoBlock) {
                    brevik::PropertyList rows;
                    if (readPropertyList(base, rows, f.dataIndex, {}, true, ReadMode::Complete) !=
                            -1 &&
                        !rows.empty()) {
                        for (const PropertyValue& v : rows[0])
                            if (v.present() && v.data && v.id < kFirstNamedPropertyId &&
                                v.type != ptypes::kObject)
                                folder.properties.push_back(
                                    {static_cast<std::uint16_t>(v.id), v.type, carriedValue(v)});
                    }
                }
                const auto added = w.addFolder(parent, folder);
                if (!added) return false;
                id = *added;
                ++result.folders;
            }
            ids[n] = id;
            mapped.insert(id);
            const auto [first, end] = folderRange(n);
            for (std::uint32_t i = first; i < end; ++i)
                if (wanted[i] && !written[i] && !writeItem(w, id, i)) return false;
        }
        // Items that no folder of the tree holds still get written.
        std::optional<FolderId> lost;
        for (std::uint32_t i = 0; i < itemCount; ++i) {
            if (!wanted[i] || written[i]) continue;
            if (!lost)
                lost = w.addFolder(kTopOfPersonalFolders, {"Lost and Found", "IPF.Note", {}, {}});
            if (!lost || !writeItem(w, *lost, i)) return false;
        }
        result.droppedValues += w.stats().droppedProperties;  // invalid for the written file
        return true;
    });
    return result;
}

}  // namespace brevik::pst
