// The stages of one recovery pass, private to recovery/. run() takes them in order: the format
// and the index tables, classifying the nodes, putting the items in folder order, loading them
// (on threads), then the folders. Each stage returns a Status; the first failure ends the pass.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "engine/block_claims.h"
#include "engine/encoding_vote.h"
#include "engine/status.h"
#include "message/item_summary.h"
#include "recovery/recovered_base.h"
#include "recovery/table_rows.h"

namespace brevik {

// The name-to-id map node as the classification last saw it.
struct MapNode {
    BlockIndex dataIndex = kNoBlock;
    BlockIndex subnodeIndex = kNoBlock;
    bool reachable = false;
};

// Sorts the node table into the base's folder and item lists, one entry per folder and per
// item (live copies win over stale ones), and feeds the encoding vote a sample of their data.
// Returns where the name-to-id map lies.
MapNode classifyNodes(RecoveredBase& base, EncodingVote& vote);

// Items in the order of their parents' ids (as signed numbers), each parent's items in the
// order they had.
void sortByParent(std::vector<MessageNodeEntry>& items);

class LoadingProgress;

// A chunk of items loaded on a worker.
struct LoadedChunk {
    std::vector<SummaryPlace> places;  // per loaded item, in order
    std::vector<DamagedItem> damaged;  // loaded items with damaged parts, in order
    BlockClaims claims;
};

class Pass {
  public:
    explicit Pass(RecoveredBase& base) : base_(base), vote_(CryptMethod::Unrecognised) {}

    // The whole pass; sets `resultOk` 1 when it succeeds.
    Status run();

  private:
    // recovery_pass.cpp: the stages.
    Status checkpoint(int progressSlot = -1) const;
    Status readFormatAndTables();
    Status classify();
    Status orderItems();
    Status loadEveryItem();
    Status finishFolders();
    void checkFileEnd();
    void noteInflateFaults();
    void readIpmSubtreeId();

    // pass_items.cpp: items beside those the index names, and their folders.
    void addUnclaimedItems(BlockClaims* known);
    std::unordered_set<std::uint32_t> indexedItems() const;
    void addTableRowItems(std::vector<TableRowItem> found);
    void markLiveByTables();
    void listUnreadableItemsFromRows();
    void placeStaleCopies();
    void groupByFolder(std::size_t first);

    // pass_load.cpp: loading the items, on threads.
    Status loadItems(std::uint32_t first, std::uint32_t end);
    // Nothing when no worker thread could be started and nothing was loaded.
    std::optional<Status> loadItemsOnThreads(std::uint32_t firstItem, std::uint32_t endItem,
                                             unsigned threads, std::uint32_t perChunk,
                                             LoadingProgress& progress);
    template <class KeepGoing>
    void loadChunk(std::uint32_t first, std::uint32_t end, BlockClaims* claims, LoadedChunk& out,
                   KeepGoing keepGoing);
    SummaryPlace loadItem(std::uint32_t i, BlockClaims* claims, std::vector<DamagedItem>& damaged);
    void bookItem(std::uint32_t i, SummaryPlace place, std::vector<DamagedItem>& damaged);
    bool isDataTree(BlockIndex b) const;
    unsigned passThreadCount() const;
    void announceItemBlocks(std::uint32_t first, std::uint32_t end) const;

    // pass_folders.cpp: the folders' own records and names.
    void readFolderRecords();
    void appendOrphanGroups();
    void nameLostFolders();
    void nameUnnamedFolders();

    RecoveredBase& base_;
    EncodingVote vote_;
    MapNode map_;
    // Items found from their data alone are looked for after the others have loaded.
    bool unclaimedLast_ = false;
    std::vector<FolderEntry> orphans_;
    BlockClaims* claims_ = nullptr;  // set while loads gather what internal blocks name
};

}  // namespace brevik
