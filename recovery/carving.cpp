#include "recovery/carving.h"

#include <algorithm>

#include "engine/block_claims.h"
#include "engine/block_data.h"
#include "engine/index_tables.h"
#include "engine/ltp_format.h"
#include "engine/ndb_format.h"
#include "engine/parallel_parts.h"
#include "engine/permute.h"
#include "engine/range_reader.h"
#include "message/property_reader.h"
#include "message/property_tags.h"

namespace brevik {
namespace {

std::uint64_t key(std::uint64_t bid) {
    return bid & ~std::uint64_t{1};
}

// Appends the block ids that the internal blocks `ranges[first, end)` name.
void appendNamedBlocks(MessageBase& base, const std::vector<FileRange>& ranges, std::size_t first,
                       std::size_t end, std::vector<std::uint64_t>& claimed) {
    const bool unicode = base.isUnicode();
    RangeReader reader(base, std::vector<FileRange>(ranges.begin() + first, ranges.begin() + end));
    for (std::size_t r = 0; r < end - first; ++r) {
        if (base.stopped()) return;
        appendNamedBlockIds(unicode, reader.read(r), claimed);
    }
}

// The leaf block ids that something names. Block ids usually fill their range densely (see
// BlockIdSlots), and then a bit per id quarter holds them: a quarter has one leaf id with bit 0
// clear. Otherwise a sorted list does.
class ClaimedLeaves {
  public:
    explicit ClaimedLeaves(const MessageBase& base)
        : first_(base.blockIdSlots.firstQuarter), bits_(base.blockIdSlots.positions.size()) {}
    bool dense() const { return !bits_.empty(); }
    void add(std::uint64_t id) {
        id = key(id);
        if (id & ndb::kInternalBlockBit) return;
        if (!dense()) {
            sorted_.push_back(id);
        } else if ((id >> 2) >= first_ && (id >> 2) - first_ < bits_.size()) {
            bits_[(id >> 2) - first_] = true;
        }
    }
    void addAll(const std::vector<std::uint64_t>& ids) {
        if (!dense()) sorted_.reserve(sorted_.size() + ids.size());
        for (const std::uint64_t id : ids)
            add(id);
    }
    void finish() {
        std::sort(sorted_.begin(), sorted_.end());
        sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
    }
    // For leaf ids (bit 0 and 1 clear) asked in ascending order.
    bool has(std::uint64_t id) {
        if (dense())
            return (id >> 2) >= first_ && (id >> 2) - first_ < bits_.size() &&
                   bits_[(id >> 2) - first_];
        while (next_ != sorted_.size() && sorted_[next_] < id)
            ++next_;
        return next_ != sorted_.size() && sorted_[next_] == id;
    }

  private:
    std::uint64_t first_;
    std::vector<bool> bits_;
    std::vector<std::uint64_t> sorted_;
    std::size_t next_ = 0;
};

// Every leaf block id that a node entry, a data tree or a subnode block names.
ClaimedLeaves claimedBlocks(MessageBase& base, BlockClaims* known) {
    // Internal blocks not read already, in file order, so that neighbours share reads; read in
    // contiguous parts on the pass's threads, since reading them is most of the work.
    std::vector<std::uint8_t> alreadyRead;
    if (known) {
        alreadyRead.assign(base.blockTable.size(), 0);
        for (const BlockIndex b : known->readBlocks)
            if (b >= 0 && static_cast<std::size_t>(b) < alreadyRead.size()) alreadyRead[b] = 1;
    }
    std::vector<FileRange> ranges;
    std::vector<std::uint64_t> namedByDeflated;  // deflated blocks are read one by one
    for (std::size_t i = 0; i < base.blockTable.size(); ++i) {
        const BlockEntry& e = base.blockTable[i];
        if (!(e.blockId & ndb::kInternalBlockBit) || blockDataSize(base, e) < 8 ||
            (!alreadyRead.empty() && alreadyRead[i]))
            continue;
        if (isDeflated(base, e))
            appendNamedBlockIds(base.isUnicode(), readBlockData(base, e), namedByDeflated);
        else
            ranges.push_back({e.fileOffset, e.byteCount});
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const FileRange& a, const FileRange& b) { return a.offset < b.offset; });
    constexpr std::uint64_t kMinBlocksPerPart = 4096;
    std::vector<std::vector<std::uint64_t>> parts =
        inParts<std::vector<std::uint64_t>>(ranges.size(), base.passThreads, kMinBlocksPerPart,
                                            [&](std::uint64_t first, std::uint64_t end) {
                                                std::vector<std::uint64_t> named;
                                                named.reserve((end - first) * 2);
                                                appendNamedBlocks(base, ranges, first, end, named);
                                                return named;
                                            });

    ClaimedLeaves claimed(base);
    for (const NodeEntry& n : base.nodeTable) {
        claimed.add(n.dataBid);
        claimed.add(n.subnodeBid);
    }
    if (known) {
        claimed.addAll(known->ids);
        *known = {};
    }
    claimed.addAll(namedByDeflated);
    for (auto& part : parts) {
        claimed.addAll(part);
        std::vector<std::uint64_t>().swap(part);
    }
    claimed.finish();
    return claimed;
}

}  // namespace

std::vector<BlockIndex> findUnclaimedItemBlocks(MessageBase& base, BlockClaims* known) {
    std::vector<BlockIndex> found;
    ClaimedLeaves claimed = claimedBlocks(base, known);
    if (base.stopped()) return found;  // what is claimed is not known in full
    static const std::vector<SubnodeEntry> kNoSubnodes;
    // The block each id stands for: the first of its copies in the id index, the one
    // `findBlock` returns.
    std::vector<BlockIndex> unclaimed;
    const auto& ids = base.blockIdIndex;
    for (std::size_t k = 0; k < ids.size(); ++k) {
        const std::uint64_t id = ids[k].blockId;
        if ((k > 0 && ids[k - 1].blockId == id) || (id & 1) || (id & ndb::kInternalBlockBit))
            continue;
        if (claimed.has(id)) continue;
        // Only now the block table: most blocks are claimed, and its entries lie out of order.
        const BlockIndex i = ids[k].index;
        if (i >= 0 && static_cast<std::size_t>(i) < base.blockTable.size() &&
            blockDataSize(base, base.blockTable[i]) >= 8)
            unclaimed.push_back(i);
    }
    // Read in table order, as the blocks lie in the file.
    std::sort(unclaimed.begin(), unclaimed.end());
    for (const BlockIndex i : unclaimed) {
        const BlockEntry& e = base.blockTable[i];
        std::uint8_t sig[2];
        if (isDeflated(base, e)) {
            const Bytes data = readBlockData(base, e);
            if (data.size() < 4) continue;
            sig[0] = data[2];
            sig[1] = data[3];
        } else if (!base.readAt(e.fileOffset + 2, sig)) {
            continue;
        }
        base.decodeBlockBytes(sig, 2, e.blockId, 2);
        if (sig[0] != ltp::kHeapSignature || sig[1] != ltp::kClientPropertyContext) continue;
        PropertyList rows;
        if (readPropertyList(base, rows, i, kNoSubnodes, false) == -1 || rows.empty()) continue;
        for (const PropertyValue& v : rows.front())
            if (v.id == pid::kMessageClass && v.size() > 0) {
                found.push_back(i);
                break;
            }
    }
    return found;
}

}  // namespace brevik
