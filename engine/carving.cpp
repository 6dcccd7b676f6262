#include "engine/carving.h"

#include <algorithm>

#include "engine/index_tables.h"
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

// Every block id that a node entry, a data tree or a subnode block names, sorted: a flat
// vector holds millions of ids in a fraction of a hash set's memory.
std::vector<std::uint64_t> claimedBlocks(MessageBase& base) {
    std::vector<std::uint64_t> claimed;
    claimed.reserve(base.nodeTable.size() * 2 + base.blockTable.size() / 2);
    for (const NodeEntry& n : base.nodeTable) {
        claimed.push_back(key(n.dataBid));
        claimed.push_back(key(n.subnodeBid));
    }
    const bool unicode = base.isUnicode();
    const std::size_t k = unicode ? 2 : 1;
    // Internal blocks in file order, so that neighbours share reads.
    std::vector<FileRange> ranges;
    for (const BlockEntry& e : base.blockTable)
        if ((e.blockId & kInternalBit) && e.byteCount >= 8)
            ranges.push_back({e.fileOffset, e.byteCount});
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const FileRange& a, const FileRange& b) { return a.offset < b.offset; });
    RangeReader reader(base, ranges);
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        base.checkpoint();
        const ByteView d = reader.read(r);
        if (d.size() < 8) continue;
        const std::size_t count = load16(d.data() + 2);
        if (d[0] == 0x01) {  // data tree: block ids from offset 8
            const std::size_t w = unicode ? 8 : 4;
            for (std::size_t i = 0; i < count && 8 + (i + 1) * w <= d.size(); ++i)
                claimed.push_back(
                    key(unicode ? load64(d.data() + 8 + i * w) : load32(d.data() + 8 + i * w)));
        } else if (d[0] == 0x02) {  // subnode block: leaf entries name data and subnode blocks
            const std::size_t entry = d[1] == 0 ? 12 * k : 8 * k;
            const std::size_t w = unicode ? 8 : 4;
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
    std::sort(claimed.begin(), claimed.end());
    claimed.erase(std::unique(claimed.begin(), claimed.end()), claimed.end());
    return claimed;
}

}  // namespace

std::vector<BlockIndex> findUnclaimedItemBlocks(MessageBase& base) {
    std::vector<BlockIndex> found;
    const std::vector<std::uint64_t> claimed = claimedBlocks(base);
    static const std::vector<SubnodeEntry> kNoSubnodes;
    for (std::size_t i = 0; i < base.blockTable.size(); ++i) {
        const BlockEntry& e = base.blockTable[i];
        if ((e.blockId & kInternalBit) || e.byteCount < 8 ||
            std::binary_search(claimed.begin(), claimed.end(), key(e.blockId)))
            continue;
        if (findBlock(base, e.blockId) != static_cast<BlockIndex>(i)) continue;
        std::uint8_t sig[2];
        if (!base.readAt(e.fileOffset + 2, sig)) continue;
        base.decodeBlockBytes(sig, 2, e.blockId, 2);
        if (sig[0] != 0xEC || sig[1] != 0xBC) continue;  // a property context's heap
        PropertyList rows;
        if (readPropertyList(base, rows, static_cast<BlockIndex>(i), kNoSubnodes, false) == -1 ||
            rows.empty())
            continue;
        for (const PropertyValue& v : rows.front())
            if (v.id == kMessageClassId && v.size() > 0) {
                found.push_back(static_cast<BlockIndex>(i));
                break;
            }
    }
    return found;
}

}  // namespace brevik
