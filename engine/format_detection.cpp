#include "engine/format_detection.h"

#include <algorithm>

#include "engine/index_tables.h"
#include "engine/parallel_parts.h"

namespace brevik {
namespace {

// Page-trailer positions of the type byte and its repeat, per layout.
constexpr std::size_t kAnsiTypePos = 500;
constexpr std::size_t kUnicodeTypePos = 496;
constexpr std::uint8_t kBlockPageType = 0x80;
constexpr std::uint8_t kNodePageType = 0x81;

// Large sequential reads: the census touches every page of the file.
constexpr std::size_t kChunkBytes = 256u << 10;

IndexPageInfo describePage(const std::uint8_t* page, std::uint64_t offset, bool unicode) {
    IndexPageInfo info;
    info.pageOffset = offset;
    if (unicode) {
        info.entryCount = page[488];
        info.maxEntries = page[489];
        info.sizeLevel = load16(page + 490);
        info.pageType = load16(page + 496);
        info.trailerBid = load64(page + 504);
    } else {
        info.entryCount = page[496];
        info.maxEntries = page[497];
        info.sizeLevel = load16(page + 498);
        info.pageType = load16(page + 500);
        info.trailerBid = load32(page + 504);
    }
    return info;
}

struct CensusLists {
    PageCensus counts;
    std::vector<IndexPageInfo> ansiBlock, ansiNode, unicodeBlock, unicodeNode;
};

// A sequential scan of the complete pages [first, end): counts for the layout vote and, for
// both candidate layouts, the index pages that the chosen layout will keep.
void scanPages(MessageBase& base, std::uint64_t first, std::uint64_t end, CensusLists& lists) {
    Bytes chunk;
    while (first < end) {
        const std::uint64_t count = std::min<std::uint64_t>(end - first, kChunkBytes / kPageSize);
        chunk.resize(count * kPageSize);
        if (!base.readAt(first * kPageSize, std::span<std::uint8_t>(chunk)))
            throw PassAborted{"census read failed"};
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* page = chunk.data() + i * kPageSize;
            const std::uint64_t offset = (first + i) * kPageSize;
            const std::uint8_t a = page[kAnsiTypePos], ar = page[kAnsiTypePos + 1];
            const std::uint8_t u = page[kUnicodeTypePos], ur = page[kUnicodeTypePos + 1];
            if (a == ar && a == kBlockPageType) {
                ++lists.counts.ansiBlockPages;
                lists.ansiBlock.push_back(describePage(page, offset, false));
            } else if (a == ar && a == kNodePageType) {
                ++lists.counts.ansiNodePages;
                lists.ansiNode.push_back(describePage(page, offset, false));
            }
            if (u == ur && u == kBlockPageType) {
                ++lists.counts.unicodeBlockPages;
                lists.unicodeBlock.push_back(describePage(page, offset, true));
            } else if (u == ur && u == kNodePageType) {
                ++lists.counts.unicodeNodePages;
                lists.unicodeNode.push_back(describePage(page, offset, true));
            }
        }
        first += count;
        if (base.stopped()) throw PassAborted{"stopped"};
    }
}

// Every page of the file, in contiguous parts on the pass's threads (copying the file out of
// the page cache is most of the census's time), merged in file order.
CensusLists scanPages(MessageBase& base) {
    constexpr std::uint64_t kMinPagesPerPart = (16u << 20) / kPageSize;
    std::vector<CensusLists> lists =
        inParts<CensusLists>(base.fileSize / kPageSize, base.passThreads, kMinPagesPerPart,
                             [&](std::uint64_t first, std::uint64_t end) {
                                 CensusLists part;
                                 scanPages(base, first, end, part);
                                 return part;
                             });
    CensusLists& all = lists[0];
    for (std::size_t k = 1; k < lists.size(); ++k) {
        const CensusLists& part = lists[k];
        all.counts.ansiBlockPages += part.counts.ansiBlockPages;
        all.counts.ansiNodePages += part.counts.ansiNodePages;
        all.counts.unicodeBlockPages += part.counts.unicodeBlockPages;
        all.counts.unicodeNodePages += part.counts.unicodeNodePages;
        auto append = [](std::vector<IndexPageInfo>& to, const std::vector<IndexPageInfo>& from) {
            to.insert(to.end(), from.begin(), from.end());
        };
        append(all.ansiBlock, part.ansiBlock);
        append(all.ansiNode, part.ansiNode);
        append(all.unicodeBlock, part.unicodeBlock);
        append(all.unicodeNode, part.unicodeNode);
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

int detectFormat(MessageBase& base) {
    try {
        CensusLists lists = scanPages(base);
        if (base.stopped()) throw PassAborted{"stopped"};
        base.markProgress(106);
        if (!lists.counts.ansiComplete() && !lists.counts.unicodeComplete())
            throw PassAborted{"no complete pair of index pages"};

        std::uint8_t header[20];
        if (!base.readAt(3, header)) throw PassAborted{"header unreadable"};
        base.formatCode = chooseFormatCode(lists.counts, header[7]);
        const bool unicode = base.isUnicode();
        base.layout = unicode ? PageLayout::unicode() : PageLayout::ansi();

        auto& blockPages = unicode ? lists.unicodeBlock : lists.ansiBlock;
        auto& nodePages = unicode ? lists.unicodeNode : lists.ansiNode;
        base.bbtPagesSeen = static_cast<std::uint32_t>(blockPages.size());
        base.nbtPagesSeen = static_cast<std::uint32_t>(nodePages.size());
        base.checkpoint(156);
        base.leafBbtPages = keepLeaves(blockPages, base.layout.leafBbtKey);
        base.checkpoint(161);
        base.leafNbtPages = keepLeaves(nodePages, base.layout.leafNbtKey);
        base.checkpoint(166);

        if (markReachableFromRoot(base, base.layout.bbtRootPos) == 0)
            markReachableFromLatestRoot(base, blockPages);
        base.checkpoint(171);
        if (markReachableFromRoot(base, base.layout.nbtRootPos) == 0)
            markReachableFromLatestRoot(base, nodePages);
        base.checkpoint();
        return 0;
    } catch (...) {
        return 101;
    }
}

CryptMethod readCryptMethod(MessageBase& base) {
    std::uint8_t b = 0;
    const std::uint64_t pos = base.isUnicode() ? 513 : 461;
    if (!base.readAt(pos, std::span<std::uint8_t>(&b, 1))) return CryptMethod::Unrecognised;
    return b <= 2 ? static_cast<CryptMethod>(b) : CryptMethod::Unrecognised;
}

}  // namespace brevik
