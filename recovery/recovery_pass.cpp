#include "recovery/recovery_pass.h"

#include <algorithm>
#include <future>
#include <new>
#include <system_error>

#include "engine/block_census.h"
#include "engine/block_check.h"
#include "engine/block_data.h"
#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "engine/large_pages.h"
#include "engine/ndb_format.h"
#include "engine/structure_check.h"
#include "recovery/carving.h"
#include "recovery/folder_tree.h"
#include "recovery/name_to_id_map.h"
#include "recovery/pass.h"

namespace brevik {

Status Pass::run() {
    base_.dropped = DropCounts{};
    base_.damage.clear();
    base_.tableRowValues.clear();
    base_.inflateFaults.clear();
    // A run after a stopped one starts its numbers and body budget afresh.
    base_.summaryCounter = 0;
    base_.keptBodyBytes = 0;
    base_.encodingState = encoding::kUndecided;
    base_.markProgress(milestone::kStart);
    Status s = readFormatAndTables();
    if (s.ok()) s = classify();
    if (s.ok()) s = orderItems();
    if (s.ok()) s = loadEveryItem();
    if (s.ok()) listUnreadableItemsFromRows();
    if (s.ok()) placeStaleCopies();
    if (s.ok()) s = finishFolders();
    // A file without a pair of index pages that gave nothing from its blocks either is no data
    // file after all, whatever its header said.
    if (s.ok() && base_.layoutFromHeader && base_.itemCount == 0 && base_.folderCount == 0)
        s = Status::failure(Reason::NoIndexPages);
    noteInflateFaults();
    if (!s.ok()) return s;
    base_.markProgress(milestone::kDone);
    base_.resultOk = 1;
    return {};
}

Status Pass::checkpoint(int progressSlot) const {
    if (base_.stopped()) return Status::failure(Reason::Stopped);
    if (progressSlot >= 0) base_.markProgress(progressSlot);
    return {};
}

Status Pass::readFormatAndTables() {
    if (Status s = findLayout(base_); !s.ok()) return s;
    if (Status s = checkpoint(milestone::kFormatKnown); !s.ok()) return s;
    base_.cryptMethod = readCryptMethod(base_);
    checkFileStructure(base_);
    buildIndexTables(base_);
    sampleBlockTrailers(base_);
    checkFileEnd();
    // Where block index pages are lost, the blocks they named are looked for in the file.
    // Without checksums to confirm them, bytes that look like a trailer are not enough.
    if (base_.trailersHold && base_.trailerCrcsHold &&
        (base_.damage.count(DamageKind::FileShorterThanHeader) || base_.damage.indexDamaged() ||
         base_.damage.count(DamageKind::LiveBlockPastEnd)))
        base_.dropped.blocksFromTrailers =
            static_cast<std::uint32_t>(addBlocksFoundByTrailers(base_));
    return checkpoint(milestone::kTablesBuilt);
}

// A file cut short: the header's end-of-file ([MS-PST] ROOT ibFileEof) lies past its end.
void Pass::checkFileEnd() {
    const ndb::PageLayout& L = base_.layout;
    std::uint8_t eof[8] = {};
    if (!base_.readAt(L.fileEofPos, std::span(eof, L.bidWidth))) return;
    const std::uint64_t stated = L.bidWidth == 8 ? load64(eof) : load32(eof);
    if (stated > base_.fileSize)
        base_.damage.note(DamageKind::FileShorterThanHeader, base_.fileSize);
}

// Deflated blocks that did not inflate cost their item's part: the report names them.
void Pass::noteInflateFaults() {
    for (const std::uint64_t offset : base_.inflateFaults.firstOffsets())
        base_.damage.note(DamageKind::DeflatedBlocks, offset);
}

Status Pass::classify() {
    base_.itemCapacity = base_.messageNodeCount + 10;
    base_.messageEntries.clear();
    reserveLarge(base_.messageEntries, base_.itemCapacity);
    base_.folderEntries.clear();
    base_.folderEntries.reserve(base_.folderCapacity);
    vote_ = EncodingVote(base_.cryptMethod);
    map_ = classifyNodes(base_, vote_);
    // Without node entries that name data (an index lost whole), the blocks found by their
    // trailers are sampled instead: their heaps say how the file encodes its data.
    constexpr std::size_t kMostSampled = 4096;
    if (vote_.sampled() == 0)
        for (std::size_t k = 0; k < base_.blockTable.size() && k < kMostSampled; ++k) {
            const BlockEntry& e = base_.blockTable[k];
            if (!(e.blockId & ndb::kInternalBlockBit) && !isDeflated(base_, e))
                vote_.sampleBlock(base_, e.fileOffset, e.blockId);
        }
    if (Status s = checkpoint(milestone::kNodesClassified); !s.ok()) return s;
    const std::optional<std::int32_t> encoding = vote_.finish(base_);
    if (!encoding) return Status::failure(Reason::NoReadableBlocks);
    base_.encodingState = *encoding;
    checkCryptMethod(base_);
    base_.indexBlockOffsets();
    return {};
}

// Puts the items in folder order. Contents tables are read meanwhile: only the rows of items
// whose nodes are gone are kept.
Status Pass::orderItems() {
    const std::unordered_set<std::uint32_t> known = indexedItems();
    auto scanRows = [this, &known] { return findTableRowItems(base_, known); };
    std::future<std::vector<TableRowItem>> tableRows;
    try {
        tableRows = std::async(passThreadCount() > 1 ? std::launch::async : std::launch::deferred,
                               scanRows);
    } catch (const std::system_error&) {
        tableRows = std::async(std::launch::deferred, scanRows);
    }
    sortByParent(base_.messageEntries);
    reserveLarge(base_.itemSummaries, base_.itemCapacity);
    base_.itemSummaries.assign(base_.itemCapacity, ItemSummary{});
    readNameToIdMap(base_, map_.dataIndex, map_.subnodeIndex);
    std::vector<TableRowItem> rows = tableRows.get();
    if (Status s = checkpoint(); !s.ok()) return s;  // the scan ends early on a stop
    if (base_.damage.indexDamaged()) markLiveByTables();
    // Items found from their data alone sort after all others. Without table rows (whose fate
    // depends on those items) the items with node entries can then load first, and the scan for
    // items without reads only the internal blocks those loads did not.
    unclaimedLast_ =
        rows.empty() && std::none_of(base_.messageEntries.begin(), base_.messageEntries.end(),
                                     [](const MessageNodeEntry& e) {
                                         return static_cast<std::int32_t>(e.parentNodeId) >=
                                                static_cast<std::int32_t>(kUnclaimedItemsFolderId);
                                     });
    if (!unclaimedLast_) {
        addUnclaimedItems(nullptr);
        addTableRowItems(std::move(rows));
        sortByParent(base_.messageEntries);
    }
    if (Status s = checkpoint(milestone::kMessagesSorted); !s.ok()) return s;
    if (Status s = checkpoint(milestone::kEncodingDecided); !s.ok()) return s;

    groupByFolder(0);
    if (Status s = checkpoint(milestone::kMessagesGrouped); !s.ok()) return s;
    base_.itemCount = static_cast<std::uint32_t>(base_.messageEntries.size());
    base_.folderCount = static_cast<std::uint32_t>(base_.folderEntries.size());
    base_.itemSummaries.resize(base_.itemCapacity);
    return {};
}

Status Pass::loadEveryItem() {
    if (!unclaimedLast_) {
        if (Status s = loadItems(0, base_.itemCount); !s.ok()) return s;
        return checkpoint(milestone::kMessagesLoaded);
    }
    // A file names each block about once: room for that many saves regrowing the lists chunk
    // by chunk.
    BlockClaims claims;
    reserveLarge(claims.ids, base_.blockTable.size());
    reserveLarge(claims.readBlocks, base_.blockTable.size());
    claims_ = &claims;
    const Status loaded = loadItems(0, base_.itemCount);
    claims_ = nullptr;
    if (!loaded.ok()) return loaded;
    const std::uint32_t first = base_.itemCount;
    addUnclaimedItems(&claims);
    if (Status s = checkpoint(); !s.ok()) return s;  // the scan ends early on a stop
    if (base_.messageEntries.size() > first) {
        groupByFolder(first);
        base_.itemCount = static_cast<std::uint32_t>(base_.messageEntries.size());
        base_.itemSummaries.resize(base_.itemCapacity);
        if (Status s = loadItems(first, base_.itemCount); !s.ok()) return s;
    }
    return checkpoint(milestone::kMessagesLoaded);
}

Status Pass::finishFolders() {
    readFolderRecords();
    readIpmSubtreeId();
    if (Status s = checkpoint(milestone::kFoldersRead); !s.ok()) return s;
    appendOrphanGroups();
    nameUnnamedFolders();
    std::stable_sort(
        base_.folderEntries.begin(), base_.folderEntries.end(),
        [](const FolderEntry& a, const FolderEntry& b) { return a.nodeId < b.nodeId; });
    buildFolderTree(base_);
    return {};
}

void recoverMessageBase(RecoveredBase& base) {
    Status status;
    // Damaged input must never end the process: what escapes a stage still fails only the pass.
    try {
        status = Pass(base).run();
    } catch (const std::bad_alloc&) {
        status = Status::failure(Reason::OutOfMemory);
    } catch (...) {
        status = Status::failure(Reason::Unexpected);
    }
    if (!status.ok()) {
        // Tables built so far stay until the next reset.
        base.resultOk = 0;
        base.errorText = describe(status);
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
