#include "engine/format_detection.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

#include "engine/btree_entries.h"
#include "engine/crc.h"
#include "engine/index_tables.h"
#include "engine/ndb_format.h"
#include "engine/parallel_parts.h"
#include "engine/range_reader.h"
#include "engine/status.h"
#include "engine/trailers.h"

namespace brevik {
namespace {

// The census reads the file in the 512-byte pages that both classic layouts share, and votes
// between them; the layout's own values take over once it is known.
using ndb::kPageSize;

constexpr std::size_t k4kPage = PageLayout::unicode4k().pageSize;

// Large sequential reads: the census touches every page of the file.
constexpr std::size_t kChunkBytes = 256u << 10;

IndexPageInfo describePage(const std::uint8_t* page, std::uint64_t offset, const PageLayout& L) {
    const ByteView bytes(page, L.pageSize);
    IndexPageInfo info;
    info.pageOffset = offset;
    info.entryCount = static_cast<std::uint16_t>(pageEntryCount(bytes, L));
    info.maxEntries = static_cast<std::uint16_t>(pageMaxEntries(bytes, L));
    info.sizeLevel = load16(page + L.levelFieldPos);
    const PageTrailer trailer = parsePageTrailer(ByteView(page, L.pageSize), L);
    info.pageType = static_cast<std::uint16_t>(trailer.type | trailer.typeRepeat << 8);
    info.trailerBid = trailer.bid;
    return info;
}

struct CensusLists {
    PageCensus counts;
    std::vector<IndexPageInfo> ansiBlock, ansiNode, unicodeBlock, unicodeNode, u4kBlock, u4kNode;
    std::uint64_t pagesRead = 0;
    std::vector<std::uint64_t> unreadable;  // offsets of pages that could not be read
    Status status;                          // a stop, which ends the census
};

// Counts and lists the page at `offset` when its trailer marks it as an index page of either
// layout.
void notePage(const std::uint8_t* page, std::uint64_t offset, CensusLists& lists) {
    constexpr std::size_t ansiType = PageLayout::ansi().trailerPos;
    constexpr std::size_t unicodeType = PageLayout::unicode().trailerPos;
    const std::uint8_t a = page[ansiType], ar = page[ansiType + 1];
    const std::uint8_t u = page[unicodeType], ur = page[unicodeType + 1];
    if (a == ar && a == ndb::kBlockBTree) {
        ++lists.counts.ansiBlockPages;
        lists.ansiBlock.push_back(describePage(page, offset, PageLayout::ansi()));
    } else if (a == ar && a == ndb::kNodeBTree) {
        ++lists.counts.ansiNodePages;
        lists.ansiNode.push_back(describePage(page, offset, PageLayout::ansi()));
    }
    if (u == ur && u == ndb::kBlockBTree) {
        ++lists.counts.unicodeBlockPages;
        lists.unicodeBlock.push_back(describePage(page, offset, PageLayout::unicode()));
    } else if (u == ur && u == ndb::kNodeBTree) {
        ++lists.counts.unicodeNodePages;
        lists.unicodeNode.push_back(describePage(page, offset, PageLayout::unicode()));
    }
}

// The same for the 4 KiB page at `offset` (a multiple of 4096).
void note4kPage(const std::uint8_t* page, std::uint64_t offset, CensusLists& lists) {
    constexpr PageLayout L = PageLayout::unicode4k();
    const std::uint8_t t = page[L.trailerPos], tr = page[L.trailerPos + 1];
    if (t != tr) return;
    if (t == ndb::kBlockBTree) {
        ++lists.counts.unicode4kBlockPages;
        lists.u4kBlock.push_back(describePage(page, offset, L));
    } else if (t == ndb::kNodeBTree) {
        ++lists.counts.unicode4kNodePages;
        lists.u4kNode.push_back(describePage(page, offset, L));
    }
}

// Bit k of `covered[p]` is set when bytes [p * 512 + 64k, + 64) belong to a block that the live
// block index places there; a page whose byte is 0xFF lies wholly in live blocks.
using Coverage = std::vector<std::uint8_t>;

// A sequential scan of the complete pages [first, end): counts for the layout vote and, for
// both candidate layouts, the index pages that the chosen layout will keep. Pages wholly in
// live blocks are that data, not index pages, and are passed over.
Status scanPages(MessageBase& base, std::uint64_t first, std::uint64_t end, const Coverage* covered,
                 CensusLists& lists) {
    Bytes chunk;
    while (first < end) {
        const std::uint64_t count = std::min<std::uint64_t>(end - first, kChunkBytes / kPageSize);
        chunk.resize(count * kPageSize);
        // A stretch that cannot be read costs only its own pages: the rest are read one by one.
        const bool whole = base.readAt(first * kPageSize, std::span<std::uint8_t>(chunk));
        if (!whole && base.stopped()) return Status::failure(Reason::Stopped);
        for (std::uint64_t i = 0; i < count; ++i) {
            if (covered && (*covered)[first + i] == 0xFF) continue;
            const std::uint64_t offset = (first + i) * kPageSize;
            const std::span<std::uint8_t> page(chunk.data() + i * kPageSize, kPageSize);
            if (!whole && !base.readAt(offset, page)) {
                if (base.stopped()) return Status::failure(Reason::Stopped);
                lists.unreadable.push_back(offset);
                continue;
            }
            notePage(page.data(), offset, lists);
            if (offset % k4kPage == 0 && base.fileSize - offset >= k4kPage) {
                // A 4 KiB page that runs past this chunk is read on its own.
                if (whole && i + k4kPage / kPageSize <= count) {
                    note4kPage(page.data(), offset, lists);
                } else {
                    std::array<std::uint8_t, k4kPage> big;
                    if (base.readAt(offset, big)) note4kPage(big.data(), offset, lists);
                }
            }
        }
        lists.pagesRead += count;
        first += count;
        if (base.stopped()) return Status::failure(Reason::Stopped);
    }
    return {};
}

// Deepest block index walked for the coverage; real files use a handful of levels.
constexpr int kMaxCoverageDepth = 16;

// Marks [offset, offset + extent) within the complete pages.
void markBlock(Coverage& covered, std::uint64_t offset, std::uint64_t extent) {
    const std::uint64_t first = offset / 64;  // in 64-byte units
    const std::uint64_t end = std::min<std::uint64_t>((offset + extent) / 64, covered.size() * 8);
    for (std::uint64_t u = first; u < end;) {
        if (u % 8 == 0 && end - u >= 8) {
            covered[u / 8] = 0xFF;
            u += 8;
        } else {
            covered[u / 8] |= static_cast<std::uint8_t>(1u << (u % 8));
            ++u;
        }
    }
}

// What a part of one level of the block index holds: the next level's page offsets, and the
// blocks of its leaves marked in a coverage of its own.
struct LevelPart {
    bool ok = true;
    bool sawLeaf = false;
    std::vector<std::uint64_t> children;
    Coverage covered;
};

// Fills `covered` from the block index the header names, walked from its root with every page
// checked (trailer and checksum). False when that walk fails anywhere: the index is damaged,
// the header is wrong about the layout, or the file is of a kind this does not know, and the
// census then reads every page. Only the file's own live index decides what is skipped.
bool liveBlockCoverage(MessageBase& base, Coverage& covered) {
    std::uint8_t header[20];
    if (!base.readAt(3, header)) return false;
    const bool unicode = header[7] >= ndb::kUnicodeVersion;  // wVer: 14 and 15 ANSI, 23 Unicode
    const PageLayout L = header[7] == ndb::kUnicode4kVersion ? PageLayout::unicode4k()
                         : unicode                           ? PageLayout::unicode()
                                                             : PageLayout::ansi();
    std::uint8_t field[8] = {};
    if (!base.readAt(L.bbtRootPos, std::span(field, unicode ? 8 : 4))) return false;
    const std::uint64_t root = unicode ? load64(field) : load32(field);

    const std::uint32_t entry = L.leafBbtKey & 0xFFu;
    const std::size_t typePos = L.trailerPos;
    const std::uint64_t pages = base.fileSize / kPageSize;

    // The pages [first, end) of a level, read, checked and taken apart.
    auto readPart = [&](const std::vector<std::uint64_t>& level, std::uint64_t first,
                        std::uint64_t end) {
        LevelPart part;
        std::vector<FileRange> ranges;
        for (std::uint64_t k = first; k < end; ++k)
            ranges.push_back({level[k], L.pageSize});
        RangeReader reader(base, std::move(ranges));
        for (std::uint64_t k = first; k < end && part.ok; ++k) {
            const ByteView p = reader.read(k - first);
            const bool whole = p.size() == L.pageSize;
            const std::uint16_t sizeLevel = whole ? load16(p.data() + L.levelFieldPos) : 0;
            const std::uint32_t count = whole ? pageEntryCount(p, L) : 0;
            part.ok = whole && p[typePos] == ndb::kBlockBTree &&
                      p[typePos + 1] == ndb::kBlockBTree && pageCrcMatches(p, L) &&
                      (sizeLevel & 0xFFu) == entry && count <= L.entryCountPos / entry;
            if (!part.ok) break;
            const bool leaf = (sizeLevel >> 8) == 0;
            if (leaf && !part.sawLeaf) {
                part.sawLeaf = true;
                part.covered.assign(pages, 0);
            }
            for (std::uint32_t j = 0; j < count; ++j) {
                const ByteView e = p.subspan(j * entry, entry);
                if (!leaf) {
                    part.children.push_back(parseBtEntry(e, L).childOffset);
                    continue;
                }
                const BbtEntry block = parseBbtEntry(e, L);
                const std::uint64_t offset = block.offset, size = block.byteCount;
                const std::uint64_t extent = ndb::blockExtent(size, L);
                if (offset % L.blockAlignment == 0 && size > 0 && extent <= L.maxBlockExtent &&
                    offset <= base.fileSize && base.fileSize - offset >= extent)
                    markBlock(part.covered, offset, extent);
            }
        }
        return part;
    };

    covered.assign(pages, 0);
    bool sawLeaf = false;
    std::unordered_set<std::uint64_t> visited;
    std::vector<std::uint64_t> level{root};
    for (int depth = 0; !level.empty(); ++depth) {
        if (depth > kMaxCoverageDepth || base.stopped()) return false;
        std::sort(level.begin(), level.end());
        for (std::uint64_t offset : level)
            if (offset % L.pageSize != 0 || offset / kPageSize >= pages ||
                !visited.insert(offset).second)
                return false;
        // Checksums and marking are most of the work: a wide level is split over the threads.
        constexpr std::uint64_t kMinPagesPerPart = 1024;
        std::vector<LevelPart> parts = inParts<LevelPart>(
            level.size(), base.passThreads, kMinPagesPerPart,
            [&](std::uint64_t first, std::uint64_t end) { return readPart(level, first, end); });
        std::vector<std::uint64_t> next;
        for (LevelPart& part : parts) {
            if (!part.ok) return false;
            next.insert(next.end(), part.children.begin(), part.children.end());
            if (!part.sawLeaf) continue;
            sawLeaf = true;
            for (std::uint64_t p = 0; p < pages; ++p)
                covered[p] |= part.covered[p];
        }
        level = std::move(next);
    }
    return sawLeaf;
}

// Page ranges [first, end) to read: every page not wholly in live blocks, with short stretches
// of such pages read through (and passed over) rather than costing a read each.
struct PageRun {
    std::uint64_t first, end;
};
std::vector<PageRun> pagesToRead(const Coverage* covered, std::uint64_t pages) {
    if (!covered) return {{0, pages}};
    constexpr std::uint64_t kReadThrough = 8;
    std::vector<PageRun> runs;
    for (std::uint64_t p = 0; p < pages;) {
        if ((*covered)[p] == 0xFF) {
            ++p;
            continue;
        }
        std::uint64_t end = p + 1;
        while (end < pages && (*covered)[end] != 0xFF)
            ++end;
        if (!runs.empty() && p - runs.back().end <= kReadThrough)
            runs.back().end = end;
        else
            runs.push_back({p, end});
        p = end;
    }
    return runs;
}

// The census's pages in contiguous parts of about equal size on the pass's threads (copying
// the file out of the page cache is most of the census's time), merged in file order.
CensusLists scanPages(MessageBase& base, const Coverage* covered) {
    const std::vector<PageRun> runs = pagesToRead(covered, base.fileSize / kPageSize);
    // Parts of equal cost: a run costs a read, as much as about this many pages, besides its
    // pages; the index pages of a file written in one go lie together at its end.
    constexpr std::uint64_t kPagesPerRead = 32;
    std::vector<std::uint64_t> before(runs.size());  // pages of the runs before each
    std::vector<std::uint64_t> costBefore(runs.size());
    std::uint64_t total = 0, totalCost = 0;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        before[k] = total;
        costBefore[k] = totalCost;
        total += runs[k].end - runs[k].first;
        totalCost += kPagesPerRead + runs[k].end - runs[k].first;
    }
    auto pageAt = [&](std::uint64_t cost) {  // where cost `cost` is reached, in pages
        if (cost >= totalCost) return total;
        const auto k = static_cast<std::size_t>(
            std::upper_bound(costBefore.begin(), costBefore.end(), cost) - costBefore.begin() - 1);
        const std::uint64_t into = cost - costBefore[k];
        return before[k] + std::min(into > kPagesPerRead ? into - kPagesPerRead : 0,
                                    runs[k].end - runs[k].first);
    };
    constexpr std::uint64_t kMinPagesPerPart = (4u << 20) / kPageSize;
    // Long runs are read in order, where the kernel reads ahead by itself.
    constexpr std::size_t kRunsAhead = 64;
    constexpr std::uint64_t kMaxAnnouncedPages = (4u << 20) / kPageSize;
    std::vector<CensusLists> lists = inParts<CensusLists>(
        totalCost, base.passThreads, kMinPagesPerPart,
        [&](std::uint64_t fromCost, std::uint64_t toCost) {
            const std::uint64_t a = pageAt(fromCost), b = pageAt(toCost);
            CensusLists part;
            auto k = static_cast<std::size_t>(std::upper_bound(before.begin(), before.end(), a) -
                                              before.begin());
            std::size_t announced = 0;  // runs before this were announced to the file
            for (k = k == 0 ? 0 : k - 1; k < runs.size() && before[k] < b; ++k) {
                // On a cold disk the runs ahead are read in the background meanwhile.
                for (announced = std::max(announced, k);
                     announced < runs.size() && announced < k + kRunsAhead && before[announced] < b;
                     ++announced)
                    base.willNeed(
                        runs[announced].first * kPageSize,
                        std::min(runs[announced].end - runs[announced].first, kMaxAnnouncedPages) *
                            kPageSize);
                const std::uint64_t from = std::max(a, before[k]) - before[k];
                const std::uint64_t to =
                    std::min(b, before[k] + runs[k].end - runs[k].first) - before[k];
                if (from < to && part.status.ok())
                    part.status =
                        scanPages(base, runs[k].first + from, runs[k].first + to, covered, part);
            }
            return part;
        });
    CensusLists& all = lists[0];
    for (std::size_t k = 1; k < lists.size(); ++k) {
        const CensusLists& part = lists[k];
        if (all.status.ok()) all.status = part.status;  // the first in file order
        all.counts.ansiBlockPages += part.counts.ansiBlockPages;
        all.counts.ansiNodePages += part.counts.ansiNodePages;
        all.counts.unicodeBlockPages += part.counts.unicodeBlockPages;
        all.counts.unicodeNodePages += part.counts.unicodeNodePages;
        all.counts.unicode4kBlockPages += part.counts.unicode4kBlockPages;
        all.counts.unicode4kNodePages += part.counts.unicode4kNodePages;
        all.pagesRead += part.pagesRead;
        auto append = [](std::vector<IndexPageInfo>& to, const std::vector<IndexPageInfo>& from) {
            to.insert(to.end(), from.begin(), from.end());
        };
        append(all.ansiBlock, part.ansiBlock);
        append(all.ansiNode, part.ansiNode);
        append(all.unicodeBlock, part.unicodeBlock);
        append(all.unicodeNode, part.unicodeNode);
        append(all.u4kBlock, part.u4kBlock);
        append(all.u4kNode, part.u4kNode);
        all.unreadable.insert(all.unreadable.end(), part.unreadable.begin(), part.unreadable.end());
    }
    return std::move(all);
}

std::vector<IndexPageInfo> keepLeaves(const std::vector<IndexPageInfo>& all,
                                      std::uint16_t leafKey) {
    std::vector<IndexPageInfo> leaves;
    for (const auto& p : all)
        if (p.sizeLevel == leafKey) leaves.push_back(p);
    return leaves;
}

}  // namespace

std::uint32_t chooseFormatCode(const PageCensus& c, std::uint8_t versionByte) {
    const bool ansiAny = c.ansiBlockPages > 0 || c.ansiNodePages > 0;
    const bool unicodeAny = c.unicodeBlockPages > 0 || c.unicodeNodePages > 0;
    if (c.ansiComplete() && !unicodeAny) return 15;
    if (c.unicodeComplete() && !ansiAny) return 65532;
    if (c.ansiComplete() && !c.unicodeComplete()) return 255;
    if (c.unicodeComplete() && !c.ansiComplete()) return 8191;
    // Both pairs complete: the header's version breaks the tie, then the counts.
    const int versionClass = versionByte == 23 ? 17 : versionByte == 14 ? 8 : 254;
    if (versionClass < 15) return 120;
    if (versionClass < 31) return 8687;
    if (c.ansiBlockPages > c.unicodeBlockPages && c.ansiNodePages > c.unicodeNodePages) return 4094;
    if (c.ansiBlockPages < c.unicodeBlockPages && c.ansiNodePages < c.unicodeNodePages)
        return 65534;
    const std::uint64_t ansiSum = std::uint64_t{c.ansiBlockPages} + c.ansiNodePages;
    const std::uint64_t unicodeSum = std::uint64_t{c.unicodeBlockPages} + c.unicodeNodePages;
    if (ansiSum > unicodeSum) return 12;
    return 61952;
}

bool chooses4kPages(const PageCensus& c, std::uint8_t versionByte) {
    if (!c.unicode4kComplete()) return false;
    if (versionByte == ndb::kUnicode4kVersion) return true;
    if (!c.ansiComplete() && !c.unicodeComplete()) return true;
    if (versionByte == 14 || versionByte == 15 || versionByte == ndb::kUnicodeVersion) return false;
    const std::uint64_t pages4k = 8 * (std::uint64_t{c.unicode4kBlockPages} + c.unicode4kNodePages);
    return pages4k >= std::uint64_t{c.ansiBlockPages} + c.ansiNodePages &&
           pages4k >= std::uint64_t{c.unicodeBlockPages} + c.unicodeNodePages;
}

Status findLayout(MessageBase& base) {
    // Between steps: a stop ends the detection, else the progress moves on.
    auto checkpoint = [&](int progressSlot) {
        if (base.stopped()) return Status::failure(Reason::Stopped);
        if (progressSlot >= 0) base.markProgress(progressSlot);
        return Status{};
    };
    try {
        // Pages inside the live index's blocks are not read when that index is intact: in a
        // healthy file that is most of it.
        Coverage covered;
        const bool skipLive = base.censusSkipsLiveBlocks && liveBlockCoverage(base, covered);
        CensusLists lists = scanPages(base, skipLive ? &covered : nullptr);
        Coverage().swap(covered);
        base.censusPagesRead = lists.pagesRead;
        if (!lists.status.ok()) return lists.status;
        for (const std::uint64_t offset : lists.unreadable)
            base.damage.note(DamageKind::UnreadablePages, offset);
        if (Status s = checkpoint(106); !s.ok()) return s;
        const bool paired = lists.counts.ansiComplete() || lists.counts.unicodeComplete() ||
                            lists.counts.unicode4kComplete();
        std::uint8_t header[20];
        if (!base.readAt(3, header)) {
            if (base.stopped()) return Status::failure(Reason::Stopped);
            if (!paired) return Status::failure(Reason::NoIndexPages);
            return Status::at(Reason::HeaderUnreadable, 3);
        }
        bool pages4k = false;
        base.layoutFromHeader = !paired;
        if (paired) {
            pages4k = chooses4kPages(lists.counts, header[7]);
            base.formatCode =
                pages4k ? kFormatUnicode4k : chooseFormatCode(lists.counts, header[7]);
        } else {
            // A data file whose index pages are all lost (cut short before them, or zeroed)
            // still holds its blocks, which the pass finds by their trailers: its header's
            // magic and version name the layout.
            std::uint8_t magic[4];
            const std::uint8_t version = header[7];
            if (!base.readAt(0, magic) || std::memcmp(magic, ndb::kHeaderMagic, 4) != 0 ||
                (version != 14 && version != 15 && version != 21 &&
                 version != ndb::kUnicodeVersion && version != ndb::kUnicode4kVersion))
                return Status::failure(Reason::NoIndexPages);
            // Version 21 is the Unicode layout as some repair tools write it.
            const bool unicodeVersion = version == ndb::kUnicodeVersion || version == 21;
            pages4k = version == ndb::kUnicode4kVersion;
            base.formatCode = pages4k ? kFormatUnicode4k : unicodeVersion ? 65532 : 15;
        }
        const bool unicode = base.isUnicode();
        base.layout = pages4k   ? PageLayout::unicode4k()
                      : unicode ? PageLayout::unicode()
                                : PageLayout::ansi();

        auto& blockPages = pages4k   ? lists.u4kBlock
                           : unicode ? lists.unicodeBlock
                                     : lists.ansiBlock;
        auto& nodePages = pages4k ? lists.u4kNode : unicode ? lists.unicodeNode : lists.ansiNode;
        base.bbtPagesSeen = static_cast<std::uint32_t>(blockPages.size());
        base.nbtPagesSeen = static_cast<std::uint32_t>(nodePages.size());
        if (Status s = checkpoint(156); !s.ok()) return s;
        base.leafBbtPages = keepLeaves(blockPages, base.layout.leafBbtKey);
        if (Status s = checkpoint(161); !s.ok()) return s;
        base.leafNbtPages = keepLeaves(nodePages, base.layout.leafNbtKey);
        if (Status s = checkpoint(166); !s.ok()) return s;

        if (markReachableFromRoot(base, base.layout.bbtRootPos) == 0)
            markReachableFromLatestRoot(base, blockPages);
        if (Status s = checkpoint(171); !s.ok()) return s;
        if (markReachableFromRoot(base, base.layout.nbtRootPos) == 0)
            markReachableFromLatestRoot(base, nodePages);
        return checkpoint(-1);
    } catch (const std::bad_alloc&) {
        return Status::failure(Reason::OutOfMemory);
    } catch (...) {  // a worker's failure, rethrown by the parts
        return Status::failure(Reason::Unexpected);
    }
}

int detectFormat(MessageBase& base) {
    return findLayout(base).ok() ? 0 : 101;
}

CryptMethod readCryptMethod(MessageBase& base) {
    std::uint8_t b = 0;
    const std::uint64_t pos = base.layout.cryptMethodPos;
    if (!base.readAt(pos, std::span<std::uint8_t>(&b, 1))) return CryptMethod::Unrecognised;
    return b <= 2 ? static_cast<CryptMethod>(b) : CryptMethod::Unrecognised;
}

}  // namespace brevik
