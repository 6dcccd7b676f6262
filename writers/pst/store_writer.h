// Writes a Unicode .pst file as a stream: the message store, the name-to-id map, the standard
// folders and tables, then the caller's folders and, one at a time, its items. Each item is
// written out when it is added; folders and tables are written by finish().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ndb_format.h"
#include "writers/pst/file_sink.h"
#include "writers/pst/name_to_id_map.h"
#include "writers/pst/ndb_writer.h"
#include "writers/pst/store_model.h"
#include "writers/pst/table_context.h"

namespace brevik::pst {

struct PstWriterOptions {
    bool permute = true;  // permute-encode data blocks, as Outlook does by default
    bool cyclic = false;  // cyclic-encode them instead (tests: Outlook can read it)
    // The offline layout of Outlook 2013 and later: 4 KiB pages, deflated data blocks, no
    // encoding (test fixtures).
    bool pages4k = false;
    std::uint64_t maxFileBytes = 0;  // 0: no limit of our own
    std::string displayName = "Personal Folders";
    std::array<std::uint8_t, 16> recordKey{};  // the store's id; all zero: derived from the name
    const std::atomic<bool>* stop = nullptr;   // checked before every item and folder
};

// A folder is named by its node id.
using FolderId = std::uint32_t;
inline constexpr FolderId kRootFolder = ndb::kNidRootFolder;
inline constexpr FolderId kTopOfPersonalFolders = ndb::kNidIpmSubtree;
inline constexpr FolderId kSearchRootFolder = 0x8042;
inline constexpr FolderId kDeletedItemsFolder = 0x8082;

struct PstWriteStats {
    std::uint64_t items = 0;
    std::uint64_t deletedItems = 0;
    std::uint64_t orphanItems = 0;
    std::uint64_t folders = 0;
    // Values not written: invalid types or sizes, named ids with no entry in the named table
    std::uint64_t droppedProperties = 0;
    std::uint64_t fileSize = 0;
};

class PstWriter {
  public:
    static std::unique_ptr<PstWriter> create(const std::string& path,
                                             const PstWriterOptions& options, WriteStatus& status);
    ~PstWriter();
    PstWriter(const PstWriter&) = delete;
    PstWriter& operator=(const PstWriter&) = delete;

    // The caller's named properties: model id 0x8000 + i names table[i].
    void setNamedProperties(std::vector<NamedProperty> table);

    // Adds `folder` below `parent`, and its children below it. Returns the ids in pre-order
    // (the folder's own first); empty on failure.
    std::vector<FolderId> addFolderTree(FolderId parent, const Folder& folder);
    std::optional<FolderId> addFolder(FolderId parent, const Folder& folder);

    // Writes one item into `folder`, listed in its contents table; an associated item (a
    // hidden one: views, rules, settings) goes to the associated contents table instead.
    bool addItem(FolderId folder, const Item& item, bool associated = false);
    // Writes one item as deleted: its index entries only on pages the header does not reach.
    // `parentNid` may name a folder that no longer exists.
    bool addDeletedItem(std::uint32_t parentNid, const Item& item);
    // Writes one live item whose parent folder does not exist.
    bool addOrphanItem(std::uint32_t missingParentNid, const Item& item);
    // A folder node id that no folder of this file uses, for orphan groups.
    std::uint32_t unusedFolderNid() const;

    // Writes the folders, tables, indexes and header, and closes the file.
    bool finish();

    const WriteStatus& status() const;
    const PstWriteStats& stats() const { return stats_; }
    std::uint64_t bytesWritten() const { return sink_->bytesWritten(); }
    const NdbSummary& ndbSummary() const { return ndb_->summary(); }

  private:
    struct FolderState {
        FolderId nid = 0;
        FolderId parent = 0;
        PropertyList properties;
        std::vector<FolderId> children;
        std::unique_ptr<TableBuilder> contents;
        std::unique_ptr<TableBuilder> associated;
        std::uint32_t unread = 0;
        bool search = false;
    };

    PstWriter(std::unique_ptr<FileSink> sink, const PstWriterOptions& options);
    FolderState& newFolder(FolderId nid, FolderId parent, PropertyList props);
    bool checkStop();
    bool fail(WriteError e, std::string text);
    PropertyList remap(const PropertyList& props);
    std::uint32_t nextMessageNid();
    bool writeItemNode(std::uint32_t nid, std::uint32_t parent, const Item& item, Visibility v);
    std::pair<std::uint64_t, std::uint64_t> writeMessage(const Item& item, Visibility v,
                                                         std::uint32_t& counter, int depth);
    void writeTableNode(std::uint32_t nid, std::uint32_t parent, TableBuilder& table);
    void writePcNode(std::uint32_t nid, std::uint32_t parent, const PropertyList& props);
    void writeFolders();
    void writeStoreNodes();

    std::unique_ptr<FileSink> sink_;
    std::unique_ptr<NdbWriter> ndb_;
    PstWriterOptions options_;
    NameToIdMapBuilder nameMap_;
    std::vector<NamedProperty> namedTable_;
    std::vector<std::optional<std::uint16_t>> remapped_;  // per named-table entry, once resolved
    std::vector<FolderState> folders_;
    std::unordered_map<FolderId, std::size_t> folderIndex_;
    std::uint32_t nextFolderIndex_ = 0x405;
    std::uint32_t nextMessageIndex_ = 0x10000;
    std::uint32_t nextAssociatedIndex_ = 0x8000;
    PstWriteStats stats_;
    WriteStatus error_;
    bool finished_ = false;
};

}  // namespace brevik::pst
