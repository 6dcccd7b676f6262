// Loading the items: each item's properties read and summarised, in chunks that worker threads
// load ahead while this thread books them in item order, so that the base ends as a
// single-threaded run leaves it.
#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/index_tables.h"
#include "engine/ndb_format.h"
#include "engine/ordered_workers.h"
#include "engine/read_window.h"
#include "message/load_message.h"
#include "message/node_data.h"
#include "message/records.h"
#include "recovery/pass.h"
#include "recovery/recovery_pass.h"

namespace brevik {

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
    Status itemDone(RecoveredBase& base, std::uint32_t i) {
        if (++counter_ < every_) return {};
        counter_ = 0;
        if (base.stopped()) return Status::failure(Reason::Stopped);
        const int slot = std::min<int>(milestone::kMessagesGrouped + step_ * writes_,
                                       milestone::kLastLoadingSlot);
        base.markProgress(slot, i + 89767);
        ++writes_;
        return {};
    }

  private:
    std::uint32_t every_, step_;
    std::uint32_t counter_ = 0, writes_ = 0;
};

namespace {

// How often a pass waiting for its workers looks at the stop flag.
constexpr std::chrono::milliseconds kStopPoll{10};

// Items per chunk: enough chunks to keep every worker busy to the end, few enough that taking
// one costs nothing next to loading it.
std::uint32_t chunkSize(std::uint32_t items) {
    return std::clamp<std::uint32_t>(items / 64, 8, 256);
}

}  // namespace

// Loads items [first, end), one chunk, and appends their places to `out`, stopping early
// when `keepGoing` turns false. Touches nothing but those items and their rows, so distinct
// chunks may load on several threads; what depends on the items before them is left to
// bookItem. `claims`, when given, gathers what the items' internal blocks name.
//
// The chunk's blocks come in three batches of reads: first every item's data block and subnode
// list, then the nested lists those name, then, once the lists are known, the blocks its
// subnodes start with (apart from the recipients a summary does not show, and with the data
// trees of all subnodes when their names are gathered). From memory, a read costs mostly its
// system call, which a batch shares.
template <class KeepGoing>
void Pass::loadChunk(std::uint32_t first, std::uint32_t end, BlockClaims* claims, LoadedChunk& out,
                     KeepGoing keepGoing) {
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
    // Then what only the checks of the items' blocks read, all of it: the subnodes a summary
    // skips, and the blocks below data trees.
    blocks.clear();
    for (std::uint32_t i = first; i < end && keepGoing(); ++i) {
        const MessageNodeEntry& e = base_.messageEntries[i];
        for (const SubnodeEntry& s : e.subnodes)
            if (s.ownerDataIndex != 0 || s.nodeId == ndb::kNidRecipientTable)
                blocks.push_back(s.dataIndex);
    }
    window.readBlocks(blocks);
    blocks.clear();
    for (std::uint32_t i = first; i < end && keepGoing(); ++i) {
        const MessageNodeEntry& e = base_.messageEntries[i];
        appendTreeLeaves(base_, e.dataIndex, blocks);
        for (const SubnodeEntry& s : e.subnodes)
            appendTreeLeaves(base_, s.dataIndex, blocks);
    }
    window.readBlocks(blocks);
    for (std::uint32_t i = first; i < end && keepGoing(); ++i)
        out.places.push_back(loadItem(i, claims, out.damaged));
}

// Loads item `i`, whose subnode list loadChunk has read, and fills its row.
SummaryPlace Pass::loadItem(std::uint32_t i, BlockClaims* claims,
                            std::vector<DamagedItem>& damaged) {
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
        place =
            summariseItem(base_, base_.rows(), i);  // from the row's values, read with the table
    } else if (loadMessage(base_, i, LoadScope::Summary) == -1) {
        e.loadFailed = 1;
    } else {
        if (e.record) e.attachmentCount = e.record->currentAttachment;
        place = summariseItem(base_, base_.rows(), i);
    }
    e.record.reset();
    if (!e.loadFailed && e.source != ItemSource::TableRow)
        if (auto parts = inspectItem(base_, i); !parts.empty())
            damaged.push_back({i, std::move(parts)});
    return place;
}

// Books a loaded item in the base, in item order: its number, its body copy against the
// budget, and what could not be read.
void Pass::bookItem(std::uint32_t i, SummaryPlace place, std::vector<DamagedItem>& damaged) {
    const MessageNodeEntry& e = base_.messageEntries[i];
    if (e.loadFailed) {
        ++base_.dropped.itemsNotLoaded;
        if (e.reachable)
            base_.damage.note(DamageKind::ItemNotLoaded, base_.blockTable[e.dataIndex].fileOffset);
    }
    placeItemSummary(base_.rows(), i, place);
    // `damaged` holds the chunk's items in order: this item's is at its front, if any.
    if (damaged.empty() || damaged.front().item != i) return;
    DamagedItem& d = damaged.front();
    // A deleted item's blocks are free for reuse: their loss is how such items are, not damage.
    // Counted once per item, at its first failing block.
    if (!base_.itemSummaries[i].deletedMark && !d.parts.front().blockOffsets.empty())
        base_.damage.note(DamageKind::ItemPartsDamaged, d.parts.front().blockOffsets.front());
    base_.damagedItems.push_back(std::move(d));
    damaged.erase(damaged.begin());
}

bool Pass::isDataTree(BlockIndex b) const {
    return b >= 0 && static_cast<std::size_t>(b) < base_.blockTable.size() &&
           (base_.blockTable[b].blockId & ndb::kInternalBlockBit);
}

// Loads and books items [first, end).
Status Pass::loadItems(std::uint32_t first, std::uint32_t end) {
    const std::uint32_t m = end - first;
    LoadingProgress progress(m);
    const std::uint32_t perChunk = chunkSize(m);
    const unsigned threads =
        std::min<std::uint64_t>(passThreadCount(), (std::uint64_t{m} + perChunk - 1) / perChunk);
    if (threads > 1)
        if (auto s = loadItemsOnThreads(first, end, threads, perChunk, progress)) return *s;
    LoadedChunk chunk;
    for (std::uint32_t c = first; c < end; c += perChunk) {
        const auto chunkEnd =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(end, std::uint64_t{c} + perChunk));
        chunk.places.clear();
        chunk.damaged.clear();
        loadChunk(c, chunkEnd, claims_, chunk, [] { return true; });
        for (std::uint32_t j = 0; j < chunk.places.size(); ++j) {
            bookItem(c + j, chunk.places[j], chunk.damaged);
            if (Status s = progress.itemDone(base_, c + j - first); !s.ok()) return s;
        }
    }
    return {};
}

unsigned Pass::passThreadCount() const {
    constexpr unsigned kMaxThreads = 64;
    unsigned n = base_.passThreads;
    if (n == 0) n = std::thread::hardware_concurrency();
    return std::clamp(n, 1u, kMaxThreads);
}

// Tells the file that the data blocks of items [first, end) will be read soon, when they lie
// close together (as in a file written in one go); scattered ones are left to the reads.
void Pass::announceItemBlocks(std::uint32_t first, std::uint32_t end) const {
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

// Loads contiguous chunks of items, taken in order (so reads move roughly forward through the
// file), on worker threads, and books each chunk here once it and every chunk before it are
// loaded.
std::optional<Status> Pass::loadItemsOnThreads(std::uint32_t firstItem, std::uint32_t endItem,
                                               unsigned threads, std::uint32_t perChunk,
                                               LoadingProgress& progress) {
    const std::uint32_t m = endItem - firstItem;
    const auto chunks = static_cast<std::uint32_t>((std::uint64_t{m} + perChunk - 1) / perChunk);
    // A chunk's items: [chunkFirst(c), chunkEnd(c)).
    auto chunkFirst = [&](std::uint64_t c) {
        return firstItem + static_cast<std::uint32_t>(c) * perChunk;
    };
    auto chunkEnd = [&](std::uint64_t c) {
        return firstItem +
               static_cast<std::uint32_t>(std::min<std::uint64_t>(m, (c + 1) * perChunk));
    };
    // On a cold disk a chunk's blocks are read in the background while the chunks before it
    // load: each worker taking a chunk announces the one the next free worker will take.
    auto announce = [&](std::uint64_t c) {
        if (c < chunks) announceItemBlocks(chunkFirst(c), chunkEnd(c));
    };
    for (std::uint32_t c = 0; c < threads; ++c)
        announce(c);
    auto load = [&](std::uint64_t c, const std::stop_token& ending) {
        announce(c + threads);
        LoadedChunk k;
        const std::uint32_t first = chunkFirst(c), end = chunkEnd(c);
        k.places.reserve(end - first);
        // A stop ends the chunk early; the booking then ends the pass.
        loadChunk(first, end, claims_ ? &k.claims : nullptr, k,
                  [&] { return !base_.stopped() && !ending.stop_requested(); });
        return k;
    };
    // Workers stay at most this many chunks ahead of the booking, which bounds the body copies
    // held before the budget has judged them.
    OrderedWorkers<LoadedChunk> workers(chunks, threads, {.ahead = 4 * threads}, load);
    if (workers.workers() == 0) return std::nullopt;

    for (std::uint32_t c = 0; c < chunks; ++c) {
        LoadedChunk* k = workers.next(kStopPoll, [&] { return !base_.stopped(); });
        if (!k || base_.stopped()) return Status::failure(Reason::Stopped);
        const std::uint32_t first = chunkFirst(c);
        if (first + k->places.size() != chunkEnd(c)) return Status::failure(Reason::Stopped);
        for (std::uint32_t j = 0; j < k->places.size(); ++j) {
            bookItem(first + j, k->places[j], k->damaged);
            if (Status s = progress.itemDone(base_, first - firstItem + j); !s.ok()) return s;
        }
        if (claims_) claims_->append(std::move(k->claims));
    }
    return Status{};
}

}  // namespace brevik
