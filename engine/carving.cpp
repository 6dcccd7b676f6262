#include "engine/carving.h"

#include <algorithm>

#include "engine/index_tables.h"
#include "engine/parallel_parts.h"
#include "engine/permute.h"
#include "engine/range_reader.h"
#include "message/property_reader.h"

namespace brevik {
namespace {

// Bit 1 of a block id marks an internal block (data tree or subnode block).
constexpr std::uint64_t kInternalBit = 2;
constexpr std::uint32_t kMessageClassId = 0x001A;

std::uint64_t key(std::uint64_t bid) {
    return bid & ~std::uint64_t{1};
}

// Appends the block ids that the internal blocks `ranges[first, end)` name: a data tree its
// children, a subnode block its entries' data and subnode blocks.
void appendNamedBlocks(MessageBase& base, const std::vector<FileRange>& ranges, std::size_t first,
                       std::size_t end, std::vector<std::uint64_t>& claimed) {
    const bool unicode = base.isUnicode();
    const std::size_t k = unicode ? 2 : 1;
    const std::size_t w = unicode ? 8 : 4;
    RangeReader reader(base, std::vector<FileRange>(ranges.begin() + first, ranges.begin() + end));
    for (std::size_t r = 0; r < end - first; ++r) {
        if (base.stopped()) throw PassAborted{"stopped"};
        const ByteView d = reader.read(r);
        if (d.size() < 8) continue;
        const std::size_t count = load16(d.data() + 2);
        if (d[0] == 0x01) {  // data tree: block ids from offset 8
            for (std::size_t i = 0; i < count && 8 + (i + 1) * w <= d.size(); ++i)
                claimed.push_back(
                    key(unicode ? load64(d.data() + 8 + i * w) : load32(d.data() + 8 + i * w)));
        } else if (d[0] == 0x02) {  // subnode block: leaf entries name data and subnode blocks
            const std::size_t entry = d[1] == 0 ? 12 * k : 8 * k;
            for (std::size_t i = 0; i < count && 4 * k + (i + 1) * entry <= d.size(); ++i) {
                const std::size_t at = 4 * k + i * entry;
                claimed.push_back(
                    key(unicode ? load64(d.data() + at + w) : load32(d.data() + at + w)));
                if (d[1] == 0)
                    claimed.push_back(key(unicode ? load64(d.data() + at + 2 * w)
                                                  : load32(d.data() + at + 2 * w)));
            }
        }
    }
}

// Every block id that a node entry, a data tree or a subnode block names, sorted: a flat
// vector holds millions of ids in a fraction of a hash set's memory.
std::vector<std::uint64_t> claimedBlocks(MessageBase& base) {
    // Internal blocks in file order, so that neighbours share reads; read in contiguous parts on
    // the pass's threads, since reading them is most of the work.
    std::vector<FileRange> ranges;
    for (const BlockEntry& e : base.blockTable)
        if ((e.blockId & kInternalBit) && e.byteCount >= 8)
            ranges.push_back({e.fileOffset, e.byteCount});
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const FileRange& a, const FileRange& b) { return a.offset < b.offset; });
    constexpr std::uint64_t kMinBlocksPerPart = 4096;
    // Each part sorts what it found on its own thread; the sorted parts are then merged.
    std::vector<std::vector<std::uint64_t>> parts =
        inParts<std::vector<std::uint64_t>>(ranges.size(), base.passThreads, kMinBlocksPerPart,
                                            [&](std::uint64_t first, std::uint64_t end) {
                                                std::vector<std::uint64_t> named;
                                                named.reserve((end - first) * 2);
                                                appendNamedBlocks(base, ranges, first, end, named);
                                                std::sort(named.begin(), named.end());
                                                return named;
                                            });

    std::vector<std::uint64_t> claimed;
    std::size_t total = base.nodeTable.size() * 2;
    for (const auto& part : parts)
        total += part.size();
    claimed.reserve(total);
    for (const NodeEntry& n : base.nodeTable) {
        claimed.push_back(key(n.dataBid));
        claimed.push_back(key(n.subnodeBid));
    }
    std::sort(claimed.begin(), claimed.end());
    for (auto& part : parts) {
        const auto middle = claimed.insert(claimed.end(), part.begin(), part.end());
        std::inplace_merge(claimed.begin(), middle, claimed.end());
        std::vector<std::uint64_t>().swap(part);
    }
    claimed.erase(std::unique(claimed.begin(), claimed.end()), claimed.end());
    return claimed;
}

}  // namespace

std::vector<BlockIndex> findUnclaimedItemBlocks(MessageBase& base) {
    std::vector<BlockIndex> found;
    const std::vector<std::uint64_t> claimed = claimedBlocks(base);
    static const std::vector<SubnodeEntry> kNoSubnodes;
    // The block each id stands for (the first of its copies in the id index, the one `findBlock`
    // returns) against the claimed ids, both sorted: one merge instead of a search per block.
    std::vector<BlockIndex> unclaimed;
    const auto& ids = base.blockIdIndex;
    auto c = claimed.begin();
    for (std::size_t k = 0; k < ids.size(); ++k) {
        const std::uint64_t id = ids[k].blockId;
        if ((k > 0 && ids[k - 1].blockId == id) || (id & 1) || (id & kInternalBit)) continue;
        while (c != claimed.end() && *c < id)
            ++c;
        if (c != claimed.end() && *c == id) continue;
        // Only now the block table: most blocks are claimed, and its entries lie out of order.
        const BlockIndex i = ids[k].index;
        if (i >= 0 && static_cast<std::size_t>(i) < base.blockTable.size() &&
            base.blockTable[i].byteCount >= 8)
            unclaimed.push_back(i);
    }
    // Read in table order, as the blocks lie in the file.
    std::sort(unclaimed.begin(), unclaimed.end());
    for (const BlockIndex i : unclaimed) {
        const BlockEntry& e = base.blockTable[i];
        std::uint8_t sig[2];
        if (!base.readAt(e.fileOffset + 2, sig)) continue;
        base.decodeBlockBytes(sig, 2, e.blockId, 2);
        if (sig[0] != 0xEC || sig[1] != 0xBC) continue;  // a property context's heap
        PropertyList rows;
        if (readPropertyList(base, rows, i, kNoSubnodes, false) == -1 || rows.empty()) continue;
        for (const PropertyValue& v : rows.front())
            if (v.id == kMessageClassId && v.size() > 0) {
                found.push_back(i);
                break;
            }
    }
    return found;
}

}  // namespace brevik
