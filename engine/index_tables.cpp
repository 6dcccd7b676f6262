#include "engine/index_tables.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/block_claims.h"
#include "engine/block_data.h"
#include "engine/btree_entries.h"
#include "engine/crc.h"
#include "engine/format_detection.h"
#include "engine/large_pages.h"
#include "engine/ndb_format.h"
#include "engine/parallel_parts.h"
#include "engine/range_reader.h"
#include "engine/read_window.h"
#include "engine/structure_check.h"
#include "engine/trailers.h"
#include "engine/visited_set.h"

namespace brevik {
namespace {

// A leaf page the header's roots reach must pass its checksum: CRC of the page body, kept in its
// trailer ([MS-PST] PAGETRAILER).
bool livePageFailsChecksum(const MessageBase& base, const IndexPageInfo& p, ByteView page) {
    if (!p.reachable) return false;
    return !pageCrcMatches(page, base.layout);
}

void checkLivePage(MessageBase& base, const IndexPageInfo& p, ByteView page) {
    if (livePageFailsChecksum(base, p, page))
        base.damage.note(DamageKind::LiveIndexPageChecksum, p.pageOffset);
}

// Deepest index tree walked; real files use a handful of levels.
constexpr int kMaxIndexDepth = 64;

std::uint32_t entrySize(std::uint16_t leafKey) {
    return leafKey & 0xFFu;
}

// Entries that fit before the entry-count byte, whatever count the page claims.
std::uint32_t entriesThatFit(const PageLayout& layout, std::uint32_t size) {
    return size == 0 ? 0 : layout.entryCountPos / size;
}

// The leaf pages as ranges to read, in list order (file order after a census).
std::vector<FileRange> pageRanges(const std::vector<IndexPageInfo>& pages,
                                  const PageLayout& layout) {
    std::vector<FileRange> ranges;
    ranges.reserve(pages.size());
    for (const auto& p : pages)
        ranges.push_back({p.pageOffset, layout.pageSize});
    return ranges;
}

// The block entries of a run of leaf block pages, read apart from the others.
struct BlockEntryPart {
    std::vector<BlockEntry> blocks;
    std::vector<std::uint64_t> pageBids;
    std::uint32_t pastEnd = 0;
    std::uint32_t malformed = 0;
    DamageLog damage;
};

BlockEntryPart readBlockEntryPart(MessageBase& base, std::size_t first, std::size_t end) {
    const PageLayout& L = base.layout;
    const std::uint32_t bs = entrySize(L.leafBbtKey);
    const std::vector<IndexPageInfo> pages(base.leafBbtPages.begin() + first,
                                           base.leafBbtPages.begin() + end);
    BlockEntryPart part;
    std::size_t announced = 0;
    for (const auto& p : pages)
        announced += p.entryCount;
    reserveLarge(part.blocks, announced);
    reserveLarge(part.pageBids, announced);
    RangeReader reader(base, pageRanges(pages, L));
    for (std::size_t k = 0; k < pages.size(); ++k) {
        const IndexPageInfo& p = pages[k];
        const ByteView page = reader.read(k);
        if (page.empty()) continue;
        if (livePageFailsChecksum(base, p, page))
            part.damage.note(DamageKind::LiveIndexPageChecksum, p.pageOffset);
        const std::uint32_t n = std::min<std::uint32_t>(p.entryCount, entriesThatFit(L, bs));
        for (std::uint32_t j = 0; j < n; ++j) {
            const BbtEntry e = parseBbtEntry(page.subspan(j * bs, bs), L);
            BlockEntry b;
            b.blockId = e.bid;
            b.fileOffset = e.offset;
            b.byteCount = e.byteCount;
            b.refCount = e.refCount;
            b.inflatedCount = e.inflatedCount;
            b.reachable = p.reachable;
            // Blocks start on 64-byte boundaries: anything else is not a block entry. (Files with
            // 4 KiB pages place them on 512-byte ones; a reader accepts the finer grain there.)
            if (b.fileOffset > base.fileSize) {
                ++part.pastEnd;
                part.damage.note(
                    b.reachable ? DamageKind::LiveBlockPastEnd : DamageKind::StaleIndexEntries,
                    b.reachable ? b.fileOffset : p.pageOffset);
            } else if (b.fileOffset % ndb::kBlockAlignment != 0 ||
                       (b.blockId & ~std::uint64_t{1}) == 0) {
                ++part.malformed;
                part.damage.note(DamageKind::StaleIndexEntries, p.pageOffset);
            } else {
                part.blocks.push_back(b);
                part.pageBids.push_back(p.trailerBid);
            }
        }
    }
    return part;
}

// Flattens the leaf block pages into `blockTable`, with the id of the page that listed each.
// Parts of the pages are read on the pass's threads and joined in page order.
void readBlockEntries(MessageBase& base, std::vector<std::uint64_t>& pageBids) {
    base.blockTable.clear();
    pageBids.clear();
    base.dropped.blocksPastEnd = base.dropped.blocksMalformed = 0;
    constexpr std::uint64_t kMinPagesPerPart = 2048;
    std::vector<BlockEntryPart> parts =
        inParts<BlockEntryPart>(base.leafBbtPages.size(), base.passThreads, kMinPagesPerPart,
                                [&](std::uint64_t first, std::uint64_t end) {
                                    return readBlockEntryPart(base, static_cast<std::size_t>(first),
                                                              static_cast<std::size_t>(end));
                                });
    std::size_t total = 0;
    for (const BlockEntryPart& part : parts)
        total += part.blocks.size();
    reserveLarge(base.blockTable, total);
    reserveLarge(pageBids, total);
    for (BlockEntryPart& part : parts) {
        base.blockTable.insert(base.blockTable.end(), part.blocks.begin(), part.blocks.end());
        pageBids.insert(pageBids.end(), part.pageBids.begin(), part.pageBids.end());
        base.dropped.blocksPastEnd += part.pastEnd;
        base.dropped.blocksMalformed += part.malformed;
        base.damage.append(part.damage);
        part = {};
    }
}

// True when the trailer after the block's data names the block with the entry's size: the
// entry describes bytes that really are a block at that place ([MS-PST] BLOCKTRAILER: cb, wSig,
// then bid and CRC (ANSI) or CRC and bid (Unicode)).
bool trailerConfirms(MessageBase& base, const BlockEntry& e) {
    const PageLayout& L = base.layout;
    const std::uint64_t extent = ndb::blockExtent(e.byteCount, L);
    if (e.fileOffset > base.fileSize || base.fileSize - e.fileOffset < extent) return false;
    std::uint8_t t[24];
    const std::span<std::uint8_t> trailer(t, L.blockTrailerSize);
    if (!base.readAt(e.fileOffset + extent - L.blockTrailerSize, trailer)) return false;
    const BlockTrailer read = parseBlockTrailer(trailer, L);
    return read.byteCount == e.byteCount && (read.bid | 1) == (e.blockId | 1);
}

// Stale leaf pages lying wholly inside a live block are that block's bytes, not pages the file
// once used: an attached .pst, or page images that an unencoded file stores as they are. Their
// entries would invent blocks and nodes, and a stale copy of the root folder can move the whole
// tree. A page is dropped only when the block's own trailer confirms the block. Returns the
// number of block index pages dropped.
std::size_t dropPagesInsideLiveBlocks(MessageBase& base) {
    std::vector<std::uint64_t> stale;
    for (const auto* list : {&base.leafBbtPages, &base.leafNbtPages})
        for (const IndexPageInfo& p : *list)
            if (!p.reachable) stale.push_back(p.pageOffset);
    if (stale.empty()) return 0;
    std::sort(stale.begin(), stale.end());

    const PageLayout& L = base.layout;
    const std::uint64_t maxData = ndb::maxBlockData(L);
    std::vector<std::uint64_t> inside;
    for (const BlockEntry& e : base.blockTable) {
        if (!e.reachable || e.byteCount < L.pageSize || e.byteCount > maxData) continue;
        const std::uint64_t end = e.fileOffset + e.byteCount;
        auto it = std::lower_bound(stale.begin(), stale.end(), e.fileOffset);
        if (it == stale.end() || *it + L.pageSize > end || !trailerConfirms(base, e)) continue;
        for (; it != stale.end() && *it + L.pageSize <= end; ++it)
            inside.push_back(*it);
    }
    if (inside.empty()) return 0;
    std::sort(inside.begin(), inside.end());
    std::size_t droppedBlockPages = 0;
    for (auto* list : {&base.leafBbtPages, &base.leafNbtPages}) {
        const auto kept = std::remove_if(list->begin(), list->end(), [&](const IndexPageInfo& p) {
            return !p.reachable && std::binary_search(inside.begin(), inside.end(), p.pageOffset);
        });
        if (list == &base.leafBbtPages)
            droppedBlockPages = static_cast<std::size_t>(list->end() - kept);
        list->erase(kept, list->end());
    }
    return droppedBlockPages;
}

}  // namespace

std::size_t markReachableFromRoot(MessageBase& base, std::uint32_t headerPos) {
    std::uint8_t field[8];
    if (!base.readAt(headerPos, field)) return 0;
    const std::uint64_t root = base.isUnicode() ? load64(field) : load32(field);
    return markReachablePages(base, root);
}

std::size_t markReachableFromLatestRoot(MessageBase& base,
                                        const std::vector<IndexPageInfo>& pages) {
    const PageLayout& L = base.layout;
    const std::uint32_t childSize = entrySize(L.leafBbtKey);
    // Every change to an index writes a new root page with a fresh, higher page id. Try the
    // well-formed intermediate pages from the newest down, then the newest leaf.
    std::vector<const IndexPageInfo*> intermediate, leaves;
    for (const auto& p : pages) {
        const std::uint8_t level = static_cast<std::uint8_t>(p.sizeLevel >> 8);
        const std::uint8_t size = static_cast<std::uint8_t>(p.sizeLevel & 0xFF);
        if (level >= 1 && size == childSize && p.entryCount >= 1 &&
            p.entryCount <= entriesThatFit(L, childSize))
            intermediate.push_back(&p);
        else if (p.sizeLevel == L.leafBbtKey || p.sizeLevel == L.leafNbtKey)
            leaves.push_back(&p);
    }
    auto newestFirst = [](const IndexPageInfo* a, const IndexPageInfo* b) {
        return a->trailerBid > b->trailerBid;
    };
    std::stable_sort(intermediate.begin(), intermediate.end(), newestFirst);
    std::stable_sort(leaves.begin(), leaves.end(), newestFirst);
    constexpr std::size_t kCandidates = 8;
    for (std::size_t i = 0; i < intermediate.size() && i < kCandidates; ++i)
        if (std::size_t marked = markReachablePages(base, intermediate[i]->pageOffset))
            return marked;
    return leaves.empty() ? 0 : markReachablePages(base, leaves.front()->pageOffset);
}

namespace {

// Finds census pages by offset. The census lists them in file order; another order is searched
// through a sorted copy of the offsets.
class PagesByOffset {
  public:
    explicit PagesByOffset(const std::vector<IndexPageInfo>& pages) : pages_(pages) {
        auto byOffset = [&](std::uint32_t a, std::uint32_t b) {
            return pages_[a].pageOffset < pages_[b].pageOffset;
        };
        if (std::is_sorted(pages.begin(), pages.end(),
                           [](const IndexPageInfo& a, const IndexPageInfo& b) {
                               return a.pageOffset < b.pageOffset;
                           }))
            return;
        order_.resize(pages.size());
        for (std::uint32_t i = 0; i < order_.size(); ++i)
            order_[i] = i;
        std::stable_sort(order_.begin(), order_.end(), byOffset);
    }

    // The first page at `offset`, or null.
    IndexPageInfo* find(std::vector<IndexPageInfo>& pages, std::uint64_t offset) const {
        std::size_t lo = 0, hi = pages_.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (pages_[at(mid)].pageOffset < offset)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo < pages_.size() && pages_[at(lo)].pageOffset == offset ? &pages[at(lo)] : nullptr;
    }

  private:
    std::size_t at(std::size_t k) const { return order_.empty() ? k : order_[k]; }
    const std::vector<IndexPageInfo>& pages_;
    std::vector<std::uint32_t> order_;  // empty when the pages are in order already
};

}  // namespace

std::size_t markReachablePages(MessageBase& base, std::uint64_t pageOffset) {
    std::size_t marked = 0;
    try {
        const PagesByOffset bbtAt(base.leafBbtPages), nbtAt(base.leafNbtPages);
        auto mark = [&](IndexPageInfo& p) {
            marked += p.reachable == 0;
            p.reachable = 1;
        };

        const PageLayout& L = base.layout;
        const std::uint32_t childSize = entrySize(L.leafBbtKey);  // BTENTRY size

        // Level by level, each level's pages in file order, so that neighbours share reads. A
        // leaf page the census listed is marked without reading it again: the census kept only
        // pages whose level field names a leaf of its index.
        std::unordered_set<std::uint64_t> visited;
        std::vector<std::uint64_t> level{pageOffset};
        for (int depth = 0; !level.empty() && depth <= kMaxIndexDepth; ++depth) {
            std::vector<std::uint64_t> pages;
            for (std::uint64_t offset : level) {
                if (offset > base.fileSize || base.fileSize - offset < L.pageSize) {
                    if (depth > 0) base.damage.note(DamageKind::IndexPageDamaged, offset);
                    continue;
                }
                if (!visited.insert(offset).second) continue;
                if (IndexPageInfo* leaf = bbtAt.find(base.leafBbtPages, offset))
                    mark(*leaf);
                else if (IndexPageInfo* nodeLeaf = nbtAt.find(base.leafNbtPages, offset))
                    mark(*nodeLeaf);
                else
                    pages.push_back(offset);
            }
            std::sort(pages.begin(), pages.end());
            std::vector<FileRange> ranges;
            ranges.reserve(pages.size());
            for (std::uint64_t offset : pages)
                ranges.push_back({offset, L.pageSize});
            RangeReader reader(base, std::move(ranges));
            std::vector<std::uint64_t> next;
            for (std::size_t k = 0; k < pages.size(); ++k) {
                const ByteView page = reader.read(k);
                if (page.size() != L.pageSize) continue;
                // The tree points here, so this should be one of its pages.
                if (depth > 0 && !isIndexPage(page, L))
                    base.damage.note(DamageKind::IndexPageDamaged, pages[k]);
                // A leaf the census did not list is not marked, nor walked into.
                const std::uint16_t key = load16(page.data() + L.levelFieldPos);
                if (key == L.leafBbtKey || key == L.leafNbtKey) continue;
                const std::uint32_t count =
                    std::min<std::uint32_t>(pageEntryCount(page, L), entriesThatFit(L, childSize));
                for (std::uint32_t i = 0; i < count; ++i) {
                    const std::uint64_t child =
                        parseBtEntry(page.subspan(i * childSize, childSize), L).childOffset;
                    if (child % L.pageSize == 0) next.push_back(child);
                }
            }
            level = std::move(next);
        }
    } catch (...) {
        // A walk that cannot finish leaves what it marked.
    }
    return marked;
}

int buildIndexTables(MessageBase& base) {
    base.blockTable.clear();
    base.nodeTable.clear();
    base.blockIdIndex.clear();
    base.blockIdSlots = {};
    base.messageNodeCount = 0;
    base.folderCapacity = 0;
    try {
        const PageLayout& L = base.layout;

        // The id of the index page that listed each entry (newer pages have higher ids), for
        // choosing among copies of a block; needed only until the id index is sorted.
        std::vector<std::uint64_t> pageBids;
        const DamageLog damageBefore = base.damage;
        readBlockEntries(base, pageBids);
        if (dropPagesInsideLiveBlocks(base) > 0) {
            // Entries of dropped block pages are already in the table: read again without them.
            base.damage = damageBefore;
            readBlockEntries(base, pageBids);
        }

        const std::uint32_t ns = entrySize(L.leafNbtKey);
        std::size_t announced = 0;
        for (const auto& p : base.leafNbtPages)
            announced += p.entryCount;
        reserveLarge(base.nodeTable, announced);
        RangeReader nbtReader(base, pageRanges(base.leafNbtPages, L));
        for (std::size_t k = 0; k < base.leafNbtPages.size(); ++k) {
            const IndexPageInfo& p = base.leafNbtPages[k];
            const ByteView page = nbtReader.read(k);
            if (page.empty()) continue;
            checkLivePage(base, p, page);
            const std::uint32_t n = std::min<std::uint32_t>(p.entryCount, entriesThatFit(L, ns));
            for (std::uint32_t j = 0; j < n; ++j) {
                const NbtEntry e = parseNbtEntry(page.subspan(j * ns, ns), L);
                NodeEntry node;
                node.nodeId = e.nodeId;
                node.dataBid = e.dataBid;
                node.subnodeBid = e.subnodeBid;
                node.parentNodeId = e.parentNodeId;
                node.reachable = p.reachable;
                node.pageOffset = p.pageOffset;
                if (node.nodeId < ndb::kFirstMessageNodeId && node.parentNodeId != 0)
                    ++base.folderCapacity;
                if (node.nodeId >= ndb::kFirstMessageNodeId) ++base.messageNodeCount;
                base.nodeTable.push_back(node);
            }
        }

        // Sorted by id, then live entries before stale ones, then newer index pages before older
        // ones, then table position. Block ids are never reused, so the entry the header's root
        // still reaches, or else the newest copy, tells where the block is; an older copy may
        // name space that has been reused since.
        reserveLarge(base.blockIdIndex, base.blockTable.size());
        base.blockIdIndex.resize(base.blockTable.size());
        for (std::size_t i = 0; i < base.blockTable.size(); ++i)
            base.blockIdIndex[i] = {base.blockTable[i].blockId, static_cast<BlockIndex>(i)};
        const auto& table = base.blockTable;
        const auto before = [&table, &pageBids](const BlockIdRef& a, const BlockIdRef& b) {
            if (a.blockId != b.blockId) return a.blockId < b.blockId;
            const BlockEntry& ea = table[a.index];
            const BlockEntry& eb = table[b.index];
            if (ea.reachable != eb.reachable) return ea.reachable > eb.reachable;
            const std::uint64_t pa = pageBids[static_cast<std::size_t>(a.index)];
            const std::uint64_t pb = pageBids[static_cast<std::size_t>(b.index)];
            if (pa != pb) return pa > pb;
            return a.index < b.index;
        };
        // Leaf pages list their blocks by id, and a file written in one go keeps its pages in
        // that order too: then the table is sorted already.
        if (!std::is_sorted(base.blockIdIndex.begin(), base.blockIdIndex.end(), before))
            std::sort(base.blockIdIndex.begin(), base.blockIdIndex.end(), before);
        indexBlockIds(base);
        return 0;
    } catch (...) {
        return 100000;
    }
}

void indexBlockIds(MessageBase& base) {
    BlockIdSlots& slots = base.blockIdSlots;
    slots = {};
    const auto& idx = base.blockIdIndex;
    if (idx.empty() || idx.size() >= BlockIdSlots::kNoPosition) return;
    const std::uint64_t first = idx.front().blockId >> 2;
    const std::uint64_t span = (idx.back().blockId >> 2) - first + 1;
    // Sparse ids (a damaged index naming wild ids, say) keep the search alone.
    if (span > 4 * static_cast<std::uint64_t>(idx.size()) + 1024) return;
    slots.firstQuarter = first;
    reserveLarge(slots.positions, static_cast<std::size_t>(span));
    slots.positions.assign(static_cast<std::size_t>(span), BlockIdSlots::kNoPosition);
    for (std::size_t k = idx.size(); k-- > 0;)
        slots.positions[static_cast<std::size_t>((idx[k].blockId >> 2) - first)] =
            static_cast<std::uint32_t>(k);
}

BlockIndex findBlock(const MessageBase& base, std::uint64_t blockId) {
    blockId &= ~std::uint64_t{1};
    if (blockId == 0) return kNoBlock;  // id 0 names no block: "no subnodes", "no data"
    const auto& idx = base.blockIdIndex;
    const BlockIdSlots& slots = base.blockIdSlots;
    if (!slots.positions.empty()) {
        const std::uint64_t quarter = (blockId >> 2) - slots.firstQuarter;
        if ((blockId >> 2) < slots.firstQuarter || quarter >= slots.positions.size())
            return kNoBlock;
        const std::uint32_t at = slots.positions[static_cast<std::size_t>(quarter)];
        if (at == BlockIdSlots::kNoPosition) return kNoBlock;
        // The first id of the quarter is the one asked for, or the id lies further on.
        if (idx[at].blockId == blockId) return idx[at].index;
    }
    // Block ids grow steadily through a file: a few guesses by value narrow a large index to a
    // small range before the binary search, which saves most cache misses. Each guess keeps the
    // first entry not below `blockId` inside [lo, hi], whatever the ids look like.
    std::size_t lo = 0, hi = idx.size();
    constexpr std::size_t kSmallRange = 64;
    for (int guess = 0; guess < 3 && hi - lo > kSmallRange; ++guess) {
        const std::uint64_t first = idx[lo].blockId, last = idx[hi - 1].blockId;
        if (blockId <= first || blockId > last) break;
        const double share =
            static_cast<double>(blockId - first) / static_cast<double>(last - first);
        const std::size_t pos =
            std::min(hi - 1, lo + static_cast<std::size_t>(share * static_cast<double>(hi - lo)));
        if (idx[pos].blockId < blockId)
            lo = pos + 1;
        else
            hi = pos;
    }
    auto it =
        std::lower_bound(idx.begin() + static_cast<std::ptrdiff_t>(lo),
                         idx.begin() + static_cast<std::ptrdiff_t>(hi), blockId,
                         [](const BlockIdRef& r, std::uint64_t id) { return r.blockId < id; });
    return it != idx.end() && it->blockId == blockId ? it->index : kNoBlock;
}

namespace {

constexpr int kMaxSubnodeDepth = 32;

int readSubnodeBlock(MessageBase& base, std::vector<SubnodeEntry>& list, BlockIndex blockIndex,
                     std::uint32_t ownerNodeId, BlockIndex ownerDataIndex,
                     VisitedSet<BlockIndex>& visited, int depth, BlockClaims* claims,
                     std::vector<BlockIndex>* nestedLists) {
    if (blockIndex < 0 || static_cast<std::size_t>(blockIndex) >= base.blockTable.size()) return -1;
    if (depth > kMaxSubnodeDepth || !visited.insert(blockIndex)) return -1;
    const BlockEntry& block = base.blockTable[blockIndex];
    const PageLayout& L = base.layout;
    const std::uint32_t k = base.isUnicode() ? 2 : 1;
    if (blockDataSize(base, block) < 4 * k) return -1;
    Bytes data = readBlockData(base, block);
    if (data.empty()) return -1;
    const std::size_t size = data.size();
    if (claims) claimBlock(base, blockIndex, data, *claims);
    if (data[0] != ndb::kSubnodeBlock) return -1;
    const std::uint8_t level = data[1];
    const std::uint32_t count = load16(data.data() + 2);
    const std::uint32_t header = 4 * k;

    if (level == 1) {
        // Intermediate block ([MS-PST] SIBLOCK): entries name leaf subnode blocks of one owner.
        const std::uint32_t es = 8 * k;
        if (size != count * es + header) return -1;
        std::vector<BlockIndex> children(count);
        for (std::uint32_t j = 0; j < count; ++j) {
            children[j] =
                findBlock(base, parseSiEntry(ByteView(data).subspan(header + j * es, es), L).bid);
        }
        ReadWindow window(base);
        if (count > 1) window.readBlocks(children);
        for (const BlockIndex child : children)
            readSubnodeBlock(base, list, child, ownerNodeId, ownerDataIndex, visited, depth + 1,
                             claims, nestedLists);
        return 1;
    }
    if (level != 0) return -1;

    const std::uint32_t es = 12 * k;
    if (size != count * es + header) return -1;
    std::vector<SubnodeEntry> own(count);
    std::vector<BlockIndex> nested(count, kNoBlock);  // each entry's own subnode block
    std::size_t nestedCount = 0;
    for (std::uint32_t j = 0; j < count; ++j) {
        const SlEntry e = parseSlEntry(ByteView(data).subspan(header + j * es, es), L);
        SubnodeEntry& s = own[j];
        s.nodeId = e.nodeId;
        s.dataIndex = findBlock(base, e.dataBid);
        s.ownerNodeId = ownerNodeId;
        s.ownerDataIndex = ownerDataIndex;
        const std::uint64_t subBid = e.subnodeBid;
        if (subBid != 0 && (nested[j] = findBlock(base, subBid)) != kNoBlock) ++nestedCount;
    }
    // Nested lists (an attachment's, say) usually lie together: read them at once.
    if (nestedLists) {
        for (const BlockIndex n : nested)
            if (n != kNoBlock) nestedLists->push_back(n);
    } else {
        ReadWindow window(base);
        if (nestedCount > 1) window.readBlocks(nested);
        for (std::uint32_t j = 0; j < count; ++j)
            if (nested[j] != kNoBlock)
                readSubnodeBlock(base, list, nested[j], own[j].nodeId, own[j].dataIndex, visited,
                                 depth + 1, claims, nullptr);
    }
    list.insert(list.end(), own.begin(), own.end());
    return 1;
}

}  // namespace

int readSubnodeList(MessageBase& base, std::vector<SubnodeEntry>& list, BlockIndex blockIndex,
                    std::uint32_t ownerNodeId, BlockIndex ownerDataIndex, BlockClaims* claims,
                    std::vector<BlockIndex>* nestedLists) {
    VisitedSet<BlockIndex> visited;
    try {
        return readSubnodeBlock(base, list, blockIndex, ownerNodeId, ownerDataIndex, visited, 0,
                                claims, nestedLists);
    } catch (...) {
        return -1;
    }
}

}  // namespace brevik
