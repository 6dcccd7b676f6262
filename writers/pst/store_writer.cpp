#include "writers/pst/store_writer.h"

#include <algorithm>
#include <set>

#include "engine/crc.h"
#include "engine/ndb_format.h"
#include "message/text.h"
#include "writers/pst/property_context.h"

namespace brevik::pst {
namespace {

using namespace ndb;

constexpr int kMaxEmbeddingDepth = 32;

constexpr std::uint32_t tag(std::uint16_t id, std::uint16_t type) {
    return (static_cast<std::uint32_t>(id) << 16) | type;
}
constexpr std::uint16_t U = ptypes::kUnicode, I = ptypes::kInt32, B = ptypes::kBoolean,
                        T = ptypes::kTime, X = ptypes::kBinary;

const std::vector<std::uint32_t> kHierarchyColumns = {
    tag(pid::kDisplayName, U),        tag(pid::kContentCount, I),
    tag(pid::kContentUnreadCount, I), tag(pid::kSubfolders, B),
    tag(pid::kContainerClass, U),     tag(pid::kPstHiddenCount, I),
    tag(pid::kPstHiddenUnread, I),    kRowVersionTag};
const std::vector<std::uint32_t> kContentsColumns = {
    tag(pid::kImportance, I),        tag(pid::kMessageClass, U),
    tag(pid::kSensitivity, I),       tag(pid::kSubject, U),
    tag(pid::kClientSubmitTime, T),  tag(pid::kSentRepresentingName, U),
    tag(pid::kMessageToMe, B),       tag(pid::kMessageCcMe, B),
    tag(pid::kConversationTopic, U), tag(pid::kConversationIndex, X),
    tag(pid::kSenderName, U),        tag(pid::kDisplayCc, U),
    tag(pid::kDisplayTo, U),         tag(pid::kMessageDeliveryTime, T),
    tag(pid::kMessageFlags, I),      tag(pid::kMessageSize, I),
    tag(pid::kMessageStatus, I),     tag(pid::kItemTemporaryFlags, I),
    tag(pid::kCreationTime, T),      tag(pid::kLastModificationTime, T),
    tag(pid::kSecureSubmitFlags, I), kRowVersionTag};
const std::vector<std::uint32_t> kAssocContentsColumns = {
    tag(pid::kMessageClass, U),         tag(pid::kMessageFlags, I), tag(pid::kDisplayName, U),
    tag(pid::kLastModificationTime, T), tag(pid::kLtpParentNid, I), kRowVersionTag};
const std::vector<std::uint32_t> kAttachmentColumns = {tag(pid::kAttachSize, I),
                                                       tag(pid::kAttachFilename, U),
                                                       tag(pid::kAttachMethod, I),
                                                       tag(pid::kAttachLongFilename, U),
                                                       tag(pid::kRenderingPosition, I),
                                                       tag(pid::kAttachMimeTag, U),
                                                       kRowVersionTag};
const std::vector<std::uint32_t> kRecipientColumns = {tag(pid::kRecipientType, I),
                                                      tag(pid::kResponsibility, B),
                                                      tag(pid::kRecordKey, X),
                                                      tag(pid::kObjectType, I),
                                                      tag(pid::kEntryId, X),
                                                      tag(pid::kDisplayName, U),
                                                      tag(pid::kAddressType, U),
                                                      tag(pid::kEmailAddress, U),
                                                      tag(pid::kSearchKey, X),
                                                      tag(pid::kDisplayType, I),
                                                      tag(pid::kAddressBookDisplayNamePrintable, U),
                                                      tag(pid::kSendRichInfo, B),
                                                      kRowVersionTag};

std::uint32_t messageFlags(const PropertyList& props) {
    const Property* p = findProperty(props, pid::kMessageFlags);
    return p && p->type == I && p->value.size() >= 4 ? load32(p->value.data()) : 0;
}

void setProperty(PropertyList& props, Property p) {
    for (auto& q : props)
        if (q.id == p.id) {
            q = std::move(p);
            return;
        }
    props.push_back(std::move(p));
}

// The code page of an item's 8-bit texts: PidTagMessageCodepage, else PidTagInternetCodepage,
// else 0 (Windows-1252).
std::uint32_t itemCodepage(const PropertyList& props) {
    for (std::uint16_t id : {pid::kMessageCodepage, pid::kInternetCodepage})
        if (const Property* p = findProperty(props, id); p && p->type == I && p->value.size() >= 4)
            return load32(p->value.data());
    return 0;
}

Bytes entryId(const std::array<std::uint8_t, 16>& store, std::uint32_t nid) {
    Bytes id(24, 0);
    std::copy(store.begin(), store.end(), id.begin() + 4);
    store32(id.data() + 20, nid);
    return id;
}

}  // namespace

std::unique_ptr<PstWriter> PstWriter::create(const std::string& path,
                                             const PstWriterOptions& options, WriteStatus& status) {
    auto sink = FileSink::create(path, options.maxFileBytes, status);
    if (!sink) return nullptr;
    return std::unique_ptr<PstWriter>(new PstWriter(std::move(sink), options));
}

PstWriter::PstWriter(std::unique_ptr<FileSink> sink, const PstWriterOptions& options)
    : sink_(std::move(sink)), options_(options) {
    ndb_ = std::make_unique<NdbWriter>(*sink_, options_.permute, options_.cyclic, options_.pages4k);
    if (options_.recordKey == std::array<std::uint8_t, 16>{}) {
        // A stable id derived from the name, so that equal inputs give equal files.
        const std::string seed = "brevik:" + options_.displayName;
        for (std::size_t i = 0; i < 4; ++i)
            store32(options_.recordKey.data() + 4 * i,
                    crc32(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size(),
                          static_cast<std::uint32_t>(0x9E3779B9u * (i + 1))));
    }
    auto named = [](const char* name, const char* cls) {
        PropertyList p{unicodeProperty(pid::kDisplayName, name)};
        if (*cls) p.push_back(unicodeProperty(pid::kContainerClass, cls));
        return p;
    };
    newFolder(kRootFolder, kRootFolder, named("", ""));
    newFolder(kTopOfPersonalFolders, kRootFolder, named("Top of Personal Folders", ""));
    newFolder(kSearchRootFolder, kRootFolder, named("Search Root", "")).search = true;
    newFolder(kDeletedItemsFolder, kTopOfPersonalFolders, named("Deleted Items", "IPF.Note"));
    // Readers expect a map with entries; Outlook's always has this one (PidLidSideEffects).
    NamedProperty sideEffects;
    sideEffects.guid = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    sideEffects.numericId = 0x8510;
    nameMap_.idFor(sideEffects);
}

PstWriter::~PstWriter() = default;

PstWriter::FolderState& PstWriter::newFolder(FolderId nid, FolderId parent, PropertyList props) {
    FolderState f;
    f.nid = nid;
    f.parent = parent;
    f.properties = std::move(props);
    f.contents = std::make_unique<TableBuilder>(kContentsColumns);
    f.associated = std::make_unique<TableBuilder>(kAssocContentsColumns);
    if (nid != parent) folders_[folderIndex_.at(parent)].children.push_back(nid);
    folderIndex_.emplace(nid, folders_.size());
    folders_.push_back(std::move(f));
    return folders_.back();
}

const WriteStatus& PstWriter::status() const {
    if (!error_.ok()) return error_;
    return ndb_->status();
}

bool PstWriter::fail(WriteError e, std::string text) {
    if (error_.ok()) error_ = WriteStatus::failure(e, std::move(text));
    return false;
}

bool PstWriter::checkStop() {
    if (!status().ok()) return false;
    if (finished_) return fail(WriteError::BadInput, "the file is already finished");
    if (options_.stop && options_.stop->load(std::memory_order_relaxed))
        return fail(WriteError::Stopped, "stopped on request");
    return true;
}

void PstWriter::setNamedProperties(std::vector<NamedProperty> table) {
    namedTable_ = std::move(table);
    remapped_.assign(namedTable_.size(), std::nullopt);
}

PropertyList PstWriter::remap(const PropertyList& props) {
    PropertyList out;
    out.reserve(props.size());
    for (const Property& p : props) {
        if (!isWritableValue(p.type, p.value)) {
            ++stats_.droppedProperties;
            continue;
        }
        if (p.id < kFirstNamedPropertyId) {
            out.push_back(p);
            continue;
        }
        const std::size_t index = p.id - kFirstNamedPropertyId;
        if (index >= namedTable_.size()) {
            ++stats_.droppedProperties;
            continue;
        }
        if (!remapped_[index]) remapped_[index] = nameMap_.idFor(namedTable_[index]);
        if (!remapped_[index]) {
            ++stats_.droppedProperties;
            continue;
        }
        out.push_back({*remapped_[index], p.type, p.value});
    }
    return out;
}

std::optional<FolderId> PstWriter::addFolder(FolderId parent, const Folder& folder) {
    if (!checkStop()) return std::nullopt;
    if (!folderIndex_.count(parent)) {
        fail(WriteError::BadInput, "unknown parent folder " + std::to_string(parent));
        return std::nullopt;
    }
    if (nextFolderIndex_ >= 0x8000) {
        fail(WriteError::BadInput, "too many folders");
        return std::nullopt;
    }
    const FolderId nid = (nextFolderIndex_++ << kNidIndexShift) | kNidTypeNormalFolder;
    PropertyList props = remap(folder.properties);
    setProperty(props, unicodeProperty(pid::kDisplayName, folder.displayName));
    if (!folder.containerClass.empty())
        setProperty(props, unicodeProperty(pid::kContainerClass, folder.containerClass));
    newFolder(nid, parent, std::move(props));
    ++stats_.folders;
    return nid;
}

std::vector<FolderId> PstWriter::addFolderTree(FolderId parent, const Folder& folder) {
    std::vector<FolderId> ids;
    // Explicit stack: folder trees from damaged files can be deep.
    std::vector<std::pair<FolderId, const Folder*>> pending{{parent, &folder}};
    while (!pending.empty()) {
        const auto [p, f] = pending.back();
        pending.pop_back();
        const auto id = addFolder(p, *f);
        if (!id) return {};
        ids.push_back(*id);
        for (auto it = f->children.rbegin(); it != f->children.rend(); ++it)
            pending.emplace_back(*id, &*it);
    }
    return ids;
}

std::uint32_t PstWriter::nextMessageNid() {
    return (nextMessageIndex_++ << kNidIndexShift) | kNidTypeNormalMessage;
}

std::uint32_t PstWriter::unusedFolderNid() const {
    return (0x7FFF << kNidIndexShift) | kNidTypeNormalFolder;
}

bool PstWriter::addItem(FolderId folder, const Item& item, bool associated) {
    if (!checkStop()) return false;
    const auto it = folderIndex_.find(folder);
    if (it == folderIndex_.end())
        return fail(WriteError::BadInput, "unknown folder " + std::to_string(folder));
    const std::uint32_t nid =
        associated ? (nextAssociatedIndex_++ << kNidIndexShift) | kNidTypeAssociatedMessage
                   : nextMessageNid();
    if (!writeItemNode(nid, folder, item, Visibility::Live)) return false;
    FolderState& f = folders_[it->second];
    // The contents columns are all plain properties: no remapping needed. Their text columns
    // are Unicode, so 8-bit texts (from ANSI files) are converted for the row; the item itself
    // keeps them as they were.
    // Values the item node dropped stay out of the row too (counted there already).
    PropertyList props;
    for (const Property& p : item.properties)
        if (p.id < kFirstNamedPropertyId && isWritableValue(p.type, p.value)) props.push_back(p);
    const std::uint32_t codepage = itemCodepage(props);
    for (const Property& p : item.properties)
        if (p.id < kFirstNamedPropertyId && p.type == ptypes::kString8)
            props.push_back(
                unicodeProperty(p.id, codepageToUtf8(p.value.data(), p.value.size(), codepage)));
    if (associated) {
        f.associated->addRow(nid, props);
    } else {
        f.contents->addRow(nid, props);
        if ((messageFlags(props) & 0x1) == 0) ++f.unread;
    }
    ++stats_.items;
    return true;
}

bool PstWriter::addDeletedItem(std::uint32_t parentNid, const Item& item) {
    if (!checkStop()) return false;
    if (!writeItemNode(nextMessageNid(), parentNid, item, Visibility::Deleted)) return false;
    ++stats_.deletedItems;
    return true;
}

bool PstWriter::addOrphanItem(std::uint32_t missingParentNid, const Item& item) {
    if (!checkStop()) return false;
    if (!writeItemNode(nextMessageNid(), missingParentNid, item, Visibility::Live)) return false;
    ++stats_.orphanItems;
    return true;
}

bool PstWriter::writeItemNode(std::uint32_t nid, std::uint32_t parent, const Item& item,
                              Visibility v) {
    std::uint32_t counter = 1;
    const auto [data, sub] = writeMessage(item, v, counter, 0);
    if (!status().ok()) return false;
    ndb_->addNode(nid, parent, data, sub, v);
    return true;
}

std::pair<std::uint64_t, std::uint64_t> PstWriter::writeMessage(const Item& item, Visibility v,
                                                                std::uint32_t& counter, int depth) {
    SubnodeSink subnodes(*ndb_, v, counter);
    PropertyList props = remap(item.properties);

    if (!item.recipients.empty()) {
        // Recipients exist only as rows of this table: every property gets a column.
        std::vector<PropertyList> rows;
        std::set<std::uint32_t> tags(kRecipientColumns.begin(), kRecipientColumns.end());
        for (const Recipient& r : item.recipients) {
            rows.push_back(remap(r.properties));
            for (const Property& p : rows.back())
                tags.insert(tag(p.id, p.type));
        }
        TableBuilder table(std::vector<std::uint32_t>(tags.begin(), tags.end()));
        for (std::size_t i = 0; i < rows.size(); ++i)
            stats_.droppedProperties += table.addRow(static_cast<std::uint32_t>(i), rows[i]);
        SubnodeSink inner(*ndb_, v, counter);
        const std::uint64_t dataBid = ndb_->writeData(table.build(inner), v);
        subnodes.add({kNidRecipientTable, dataBid, inner.writeTree()});
    }

    if (!item.attachments.empty()) {
        TableBuilder table(kAttachmentColumns);
        for (const Attachment& a : item.attachments) {
            const std::uint32_t nid = subnodes.newNid(kNidTypeAttachment);
            SubnodeSink inner(*ndb_, v, counter);
            PropertyList ap = remap(a.properties);
            if (a.embedded && depth < kMaxEmbeddingDepth) {
                const auto [d, s] = writeMessage(*a.embedded, v, counter, depth + 1);
                const std::uint32_t messageNid = inner.newNid(kNidTypeNormalMessage);
                inner.add({messageNid, d, s});
                Bytes object(8);
                store32(object.data(), messageNid);
                store32(object.data() + 4, 0);
                setProperty(ap, {pid::kAttachDataObject, ptypes::kObject, std::move(object)});
                if (!findProperty(ap, pid::kAttachMethod))
                    ap.push_back(int32Property(pid::kAttachMethod, 5));
            } else {
                if (a.embedded) ++stats_.droppedProperties;  // nested deeper than readers go
                setProperty(ap, binaryProperty(pid::kAttachDataObject, a.data));
                if (!findProperty(ap, pid::kAttachMethod))
                    ap.push_back(int32Property(pid::kAttachMethod, 1));
                if (!findProperty(ap, pid::kAttachSize))
                    ap.push_back(
                        int32Property(pid::kAttachSize, static_cast<std::uint32_t>(a.data.size())));
            }
            const std::uint64_t dataBid = ndb_->writeData(buildPropertyContext(ap, inner), v);
            subnodes.add({nid, dataBid, inner.writeTree()});
            table.addRow(nid, ap);
        }
        SubnodeSink inner(*ndb_, v, counter);
        const std::uint64_t dataBid = ndb_->writeData(table.build(inner), v);
        subnodes.add({kNidAttachmentTable, dataBid, inner.writeTree()});
        if (const Property* f = findProperty(props, pid::kMessageFlags); !f)
            props.push_back(int32Property(pid::kMessageFlags, 0x10));  // MSGFLAG_HASATTACH
    }

    const std::uint64_t dataBid = ndb_->writeData(buildPropertyContext(props, subnodes), v);
    return {dataBid, subnodes.writeTree()};
}

void PstWriter::writePcNode(std::uint32_t nid, std::uint32_t parent, const PropertyList& props) {
    std::uint32_t counter = 1;
    SubnodeSink subnodes(*ndb_, Visibility::Live, counter);
    const std::uint64_t dataBid = ndb_->writeData(buildPropertyContext(props, subnodes));
    ndb_->addNode(nid, parent, dataBid, subnodes.writeTree());
}

void PstWriter::writeTableNode(std::uint32_t nid, std::uint32_t parent, TableBuilder& table) {
    std::uint32_t counter = 1;
    SubnodeSink subnodes(*ndb_, Visibility::Live, counter);
    const std::uint64_t dataBid = ndb_->writeData(table.build(subnodes));
    ndb_->addNode(nid, parent, dataBid, subnodes.writeTree());
}

void PstWriter::writeFolders() {
    for (FolderState& f : folders_) {
        if (!status().ok()) return;
        PropertyList props = f.properties;
        setProperty(props, int32Property(pid::kContentCount,
                                         static_cast<std::uint32_t>(f.contents->rowCount())));
        setProperty(props, int32Property(pid::kContentUnreadCount, f.unread));
        setProperty(props, boolProperty(pid::kSubfolders, !f.children.empty()));
        setProperty(props, int32Property(pid::kAssociatedContentCount,
                                         static_cast<std::uint32_t>(f.associated->rowCount())));
        writePcNode(f.nid, f.parent, props);

        TableBuilder hierarchy(kHierarchyColumns);
        for (FolderId child : f.children) {
            const FolderState& c = folders_[folderIndex_.at(child)];
            PropertyList row = c.properties;
            setProperty(row, int32Property(pid::kContentCount,
                                           static_cast<std::uint32_t>(c.contents->rowCount())));
            setProperty(row, int32Property(pid::kContentUnreadCount, c.unread));
            setProperty(row, boolProperty(pid::kSubfolders, !c.children.empty()));
            hierarchy.addRow(child, row);
        }
        const std::uint32_t index = f.nid & ~0x1Fu;
        writeTableNode(index | kNidTypeHierarchyTable, 0, hierarchy);
        writeTableNode(index | kNidTypeContentsTable, 0, *f.contents);
        f.contents.reset();
        writeTableNode(index | kNidTypeAssocContentsTable, 0, *f.associated);
        f.associated.reset();
    }
}

void PstWriter::writeStoreNodes() {
    PropertyList store;
    store.push_back(binaryProperty(pid::kRecordKey,
                                   Bytes(options_.recordKey.begin(), options_.recordKey.end())));
    store.push_back(unicodeProperty(pid::kDisplayName, options_.displayName));
    store.push_back(
        int32Property(pid::kValidFolderMask, 0x89));  // IPM subtree, wastebasket and finder valid
    store.push_back(binaryProperty(pid::kIpmSubtreeEntryId,
                                   entryId(options_.recordKey, kTopOfPersonalFolders)));
    store.push_back(binaryProperty(pid::kIpmWastebasketEntryId,
                                   entryId(options_.recordKey, kDeletedItemsFolder)));
    store.push_back(
        binaryProperty(pid::kFinderEntryId, entryId(options_.recordKey, kSearchRootFolder)));
    store.push_back(int32Property(0x6633, 0));  // no password
    writePcNode(kNidMessageStore, 0, store);
    writePcNode(kNidNameToIdMap, 0, nameMap_.properties());

    const PropertyList emptyFolder{int32Property(pid::kContentCount, 0),
                                   int32Property(pid::kContentUnreadCount, 0),
                                   boolProperty(pid::kSubfolders, false)};
    writePcNode(kNidNormalFolderTemplate, 0, emptyFolder);
    writePcNode(kNidSearchFolderTemplate, 0, emptyFolder);
    ndb_->addNode(kNidSearchManagementQueue, 0, 0, 0);
    ndb_->addNode(kNidSearchActivityList, 0, 0, 0);

    TableBuilder hierarchy(kHierarchyColumns), contents(kContentsColumns),
        assoc(kAssocContentsColumns), search(kContentsColumns), attachments(kAttachmentColumns),
        recipients(kRecipientColumns);
    writeTableNode(kNidHierarchyTableTemplate, 0, hierarchy);
    writeTableNode(kNidContentsTableTemplate, 0, contents);
    writeTableNode(kNidAssocContentsTableTemplate, 0, assoc);
    writeTableNode(kNidSearchContentsTableTemplate, 0, search);
    writeTableNode(kNidAttachmentTable, 0, attachments);
    writeTableNode(kNidRecipientTable, 0, recipients);
}

bool PstWriter::finish() {
    if (!checkStop()) return false;
    writeFolders();
    if (!checkStop()) return false;
    writeStoreNodes();
    finished_ = true;
    if (!status().ok()) return false;
    if (!ndb_->finish()) return false;
    stats_.fileSize = ndb_->summary().fileSize;
    return true;
}

}  // namespace brevik::pst
