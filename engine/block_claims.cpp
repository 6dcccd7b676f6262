#include "engine/block_claims.h"

#include "engine/block_data.h"
#include "engine/index_tables.h"
#include "engine/message_base.h"
#include "engine/ndb_format.h"

namespace brevik {
namespace {

std::uint64_t key(std::uint64_t bid) {
    return bid & ~std::uint64_t{1};
}

// An XXBLOCK names XBLOCKs; deeper trees do not exist.
constexpr int kMaxTreeDepth = 3;

void claimTree(MessageBase& base, BlockIndex block, BlockClaims& claims, int depth) {
    if (block < 0 || static_cast<std::size_t>(block) >= base.blockTable.size()) return;
    const BlockEntry& e = base.blockTable[block];
    if (!(e.blockId & ndb::kInternalBlockBit) || blockDataSize(base, e) < 8 ||
        depth >= kMaxTreeDepth)
        return;
    const Bytes bytes = readBlockData(base, e);
    if (bytes.size() < 8) return;
    const std::size_t first = claims.ids.size();
    claimBlock(base, block, bytes, claims);
    for (std::size_t k = first, end = claims.ids.size(); k < end; ++k)
        if (claims.ids[k] & ndb::kInternalBlockBit)
            claimTree(base, findBlock(base, claims.ids[k]), claims, depth + 1);
}

}  // namespace

void BlockClaims::append(BlockClaims&& other) {
    if (ids.empty() && ids.capacity() < other.ids.size()) {
        ids = std::move(other.ids);
    } else {
        ids.insert(ids.end(), other.ids.begin(), other.ids.end());
    }
    readBlocks.insert(readBlocks.end(), other.readBlocks.begin(), other.readBlocks.end());
    other = {};
}

void appendNamedBlockIds(bool unicode, ByteView d, std::vector<std::uint64_t>& out) {
    if (d.size() < 8) return;
    const std::size_t k = unicode ? 2 : 1;
    const std::size_t w = unicode ? 8 : 4;
    auto id = [&](std::size_t at) {
        return key(unicode ? load64(d.data() + at) : load32(d.data() + at));
    };
    const std::size_t count = load16(d.data() + 2);
    if (d[0] == ndb::kDataTreeBlock) {  // data tree: block ids from offset 8
        for (std::size_t i = 0; i < count && 8 + (i + 1) * w <= d.size(); ++i)
            out.push_back(id(8 + i * w));
    } else if (d[0] ==
               ndb::kSubnodeBlock) {  // subnode block: leaf entries name data and subnode blocks
        const std::size_t entry = d[1] == 0 ? 12 * k : 8 * k;
        for (std::size_t i = 0; i < count && 4 * k + (i + 1) * entry <= d.size(); ++i) {
            const std::size_t at = 4 * k + i * entry;
            out.push_back(id(at + w));
            if (d[1] == 0) out.push_back(id(at + 2 * w));
        }
    }
}

void claimBlock(const MessageBase& base, BlockIndex block, ByteView bytes, BlockClaims& claims) {
    claims.readBlocks.push_back(block);
    appendNamedBlockIds(base.isUnicode(), bytes, claims.ids);
}

void claimDataTree(MessageBase& base, BlockIndex block, BlockClaims& claims) {
    claimTree(base, block, claims, 0);
}

}  // namespace brevik
