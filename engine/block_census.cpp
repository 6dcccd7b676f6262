#include "engine/block_census.h"

#include <algorithm>

#include "engine/byte_source.h"
#include "engine/crc.h"
#include "engine/index_tables.h"
#include "engine/large_pages.h"
#include "engine/message_base.h"
#include "engine/ndb_format.h"
#include "engine/trailers.h"

namespace brevik {
namespace {

// The stretch read at a time; blocks ending in it are looked for, so each read takes the
// largest block's extent before it as well.
constexpr std::size_t kStretch = 16u << 20;

struct Extent {
    std::uint64_t start;
    std::uint64_t end;
};

// The extents of the blocks the live index names, sorted and merged.
std::vector<Extent> liveExtents(const MessageBase& base) {
    std::vector<Extent> out;
    for (const BlockEntry& e : base.blockTable)
        if (e.reachable) out.push_back({e.fileOffset, e.fileOffset + e.byteCount});
    std::sort(out.begin(), out.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    std::vector<Extent> merged;
    for (const Extent& e : out)
        if (!merged.empty() && e.start <= merged.back().end)
            merged.back().end = std::max(merged.back().end, e.end);
        else
            merged.push_back(e);
    return merged;
}

bool inside(const std::vector<Extent>& extents, std::uint64_t start, std::uint64_t end) {
    auto it = std::upper_bound(extents.begin(), extents.end(), start,
                               [](std::uint64_t v, const Extent& e) { return v < e.start; });
    if (it == extents.begin()) return false;
    --it;
    return start >= it->start && end <= it->end;
}

}  // namespace

std::size_t addBlocksFoundByTrailers(MessageBase& base) {
    const ndb::PageLayout& L = base.layout;
    if (!base.source || L.blockAlignment == 0 || L.blockTrailerSize == 0 || L.pageSize == 0)
        return 0;
    const std::uint64_t maxExtent = L.maxBlockExtent;
    const std::uint64_t maxData = ndb::maxBlockData(L);
    const std::vector<Extent> live = liveExtents(base);
    std::vector<BlockEntry> found;
    Bytes buffer;
    // Blocks follow the header and the first allocation map: none ends before two pages.
    for (std::uint64_t from = 2 * L.pageSize; from < base.fileSize && !base.stopped();
         from += kStretch) {
        const std::uint64_t to = std::min<std::uint64_t>(base.fileSize, from + kStretch);
        const std::uint64_t readFrom = from >= maxExtent ? from - maxExtent : 0;
        buffer.resize(static_cast<std::size_t>(to - readFrom));
        if (!base.source->readExact(readFrom, buffer)) continue;
        // Each block ends on the alignment grain: its trailer ends there.
        for (std::uint64_t end = ndb::alignUp(from, L.blockAlignment); end <= to;
             end += L.blockAlignment) {
            if (end - readFrom < L.blockTrailerSize) continue;
            const ByteView trailerBytes(buffer.data() + (end - readFrom - L.blockTrailerSize),
                                        L.blockTrailerSize);
            const BlockTrailer t = parseBlockTrailer(trailerBytes, L);
            if (t.byteCount == 0 || t.byteCount > maxData || (t.bid & ~std::uint64_t{1}) == 0)
                continue;
            const std::uint64_t extent = ndb::blockExtent(t.byteCount, L);
            if (extent > end - readFrom || end < extent) continue;
            const std::uint64_t start = end - extent;
            if (t.signature != ndb::blockSignature(start, t.bid)) continue;
            if (t.crc != crc32(buffer.data() + (start - readFrom), t.byteCount)) continue;
            if (findBlock(base, t.bid) != kNoBlock || inside(live, start, end)) continue;
            BlockEntry b;
            b.fileOffset = start;
            b.byteCount = t.byteCount;
            b.inflatedCount = L.inflatedSizes ? t.inflatedCount : t.byteCount;
            b.blockId = t.bid & ~std::uint64_t{1};
            found.push_back(b);
        }
    }
    if (found.empty()) return 0;
    // One entry per id: a block copied within the file is the same block.
    std::stable_sort(found.begin(), found.end(), [](const BlockEntry& a, const BlockEntry& b) {
        return a.blockId < b.blockId;
    });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const BlockEntry& a, const BlockEntry& b) {
                                return a.blockId == b.blockId;
                            }),
                found.end());
    const std::size_t first = base.blockTable.size();
    reserveLarge(base.blockTable, first + found.size());
    base.blockTable.insert(base.blockTable.end(), found.begin(), found.end());
    const std::size_t known = base.blockIdIndex.size();
    for (std::size_t i = first; i < base.blockTable.size(); ++i)
        base.blockIdIndex.push_back({base.blockTable[i].blockId, static_cast<BlockIndex>(i)});
    std::inplace_merge(
        base.blockIdIndex.begin(), base.blockIdIndex.begin() + static_cast<std::ptrdiff_t>(known),
        base.blockIdIndex.end(),
        [](const BlockIdRef& a, const BlockIdRef& b) { return a.blockId < b.blockId; });
    indexBlockIds(base);
    return found.size();
}

}  // namespace brevik
