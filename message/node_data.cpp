#include "message/node_data.h"

#include <algorithm>

#include "engine/block_data.h"
#include "engine/index_tables.h"
#include "engine/large_pages.h"
#include "engine/ndb_format.h"
#include "engine/permute.h"
#include "engine/visited_set.h"

namespace brevik {
namespace {

bool validIndex(const MessageBase& base, BlockIndex index) {
    return index >= 0 && static_cast<std::size_t>(index) < base.blockTable.size();
}

// Appends the data blocks below tree block `index` to `leaves`, in order, adding their sizes to
// `total`. `level` is the level the caller expects (0 = whatever the block says). Recursion is
// bounded: a level-2 tree may only hold level-1 trees, and a tree block already listed is never
// listed again. Returns false on a stop: `leaves` then ends with the last block before it.
bool listTree(MessageBase& base, BlockIndex index, int expectLevel, VisitedSet<BlockIndex>& visited,
              std::vector<BlockIndex>& leaves, std::size_t& total) {
    if (!validIndex(base, index) || !visited.insert(index)) return false;
    const Bytes raw = readBlock(base, index, false);
    if (!looksLikeDataTree(raw)) return false;
    const int level = raw[1];
    if (expectLevel != 0 && level != expectLevel) return false;

    const std::size_t width = base.isUnicode() ? 8 : 4;
    const std::size_t declared = load16(raw.data() + 2);
    const std::size_t room = (raw.size() - ndb::kTreeHeaderSize) / width;
    const std::size_t count = std::min(declared, room);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = raw.data() + ndb::kTreeHeaderSize + i * width;
        const std::uint64_t bid = width == 8 ? load64(e) : load32(e);
        const BlockIndex child = findBlock(base, bid);
        if (child == kNoBlock) return false;
        if (level == 2) {
            if (!listTree(base, child, 1, visited, leaves, total)) return false;
            continue;
        }
        const std::size_t size = blockDataSize(base, base.blockTable[child]);
        if (size == 0 || size > kMaxNodeDataBytes - total) return false;
        leaves.push_back(child);
        total += size;
    }
    // A count that does not fit the block means entries are missing.
    return count == declared;
}

// The data blocks a tree joins, and whether the tree was whole.
struct TreeLeaves {
    std::vector<BlockIndex> blocks;
    std::size_t total = 0;
    bool complete = false;
};

TreeLeaves listTree(MessageBase& base, BlockIndex treeIndex) {
    TreeLeaves out;
    VisitedSet<BlockIndex> visited;
    out.complete = listTree(base, treeIndex, 0, visited, out.blocks, out.total);
    return out;
}

}  // namespace

std::uint64_t fileOffsetFor(const MessageBase& base, BlockIndex index) {
    if (!validIndex(base, index)) return 0;
    const BlockEntry& e = base.blockTable[index];
    return isDeflated(base, e) ? deflatedPosition(index, 0) : e.fileOffset;
}

Bytes readAtPosition(MessageBase& base, std::uint64_t position, std::size_t length) {
    if (length == 0) return {};
    if (!(position & kDeflatedPositionTag)) {
        Bytes out = base.readAt(position, length);
        base.decodeFileBytes(out.data(), out.size(), position);
        return out;
    }
    const auto index = static_cast<BlockIndex>((position >> 16) & 0xFFFFFFFFu);
    const std::size_t offset = position & 0xFFFF;
    if ((position & ~kDeflatedPositionTag) >> 48 || !validIndex(base, index)) return {};
    Bytes block = readBlock(base, index, true);
    if (offset > block.size() || length > block.size() - offset) return {};
    return Bytes(block.begin() + static_cast<std::ptrdiff_t>(offset),
                 block.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

void appendTreeLeaves(MessageBase& base, BlockIndex index, std::vector<BlockIndex>& leaves) {
    if (!validIndex(base, index) || !(base.blockTable[index].blockId & ndb::kInternalBlockBit))
        return;
    const TreeLeaves tree = listTree(base, index);
    leaves.insert(leaves.end(), tree.blocks.begin(), tree.blocks.end());
}

bool nodeDataBlocks(MessageBase& base, BlockIndex index, std::vector<BlockIndex>& blocks) {
    if (!validIndex(base, index)) return false;
    blocks.push_back(index);
    // An internal block that is no tree is read as a single block, as readNodeData does.
    if (!(base.blockTable[index].blockId & ndb::kInternalBlockBit) ||
        !looksLikeDataTree(readBlock(base, index, false)))
        return true;
    const TreeLeaves tree = listTree(base, index);
    blocks.insert(blocks.end(), tree.blocks.begin(), tree.blocks.end());
    return tree.complete;
}

Bytes readBlock(MessageBase& base, BlockIndex index, bool decode) {
    if (!validIndex(base, index)) return {};
    const BlockEntry& entry = base.blockTable[index];
    Bytes data = readBlockData(base, entry);
    if (decode) base.decodeBlockBytes(data.data(), data.size(), entry.blockId);
    return data;
}

bool looksLikeDataTree(ByteView raw) {
    return raw.size() >= ndb::kTreeHeaderSize && raw[0] == ndb::kDataTreeBlock &&
           (raw[1] == 1 || raw[1] == 2);
}

NodeData expandDataTree(MessageBase& base, BlockIndex treeIndex) {
    NodeData out;
    out.fromTree = true;
    // A tree that stops early keeps what was joined: the heap's first blocks often still hold
    // the properties that matter, and every later lookup is bounds-checked against this length.
    const TreeLeaves leaves = listTree(base, treeIndex);
    out.complete = leaves.complete;
    // A damaged tree may name one block many times: no more is set aside than the file holds.
    reserveLarge(out.bytes, std::min<std::uint64_t>(leaves.total, base.fileSize));
    out.blockLengths.reserve(leaves.blocks.size());
    out.blockFileOffsets.reserve(leaves.blocks.size());
    for (const BlockIndex leaf : leaves.blocks) {
        // Read straight onto the end of what is joined.
        const BlockEntry& block = base.blockTable[leaf];
        const std::size_t at = out.bytes.size();
        const std::size_t size = blockDataSize(base, block);
        out.bytes.resize(at + size);
        if (!readBlockDataInto(base, block, std::span(out.bytes).subspan(at))) {
            out.bytes.resize(at);
            out.complete = false;
            break;
        }
        base.decodeBlockBytes(out.bytes.data() + at, size, block.blockId);
        out.blockLengths.push_back(static_cast<std::uint32_t>(size));
        out.blockFileOffsets.push_back(fileOffsetFor(base, leaf));
    }
    return out;
}

NodeData singleBlock(MessageBase& base, BlockIndex index, Bytes decoded) {
    NodeData out;
    if (decoded.empty() || !validIndex(base, index)) return out;
    out.blockLengths.push_back(static_cast<std::uint32_t>(decoded.size()));
    out.blockFileOffsets.push_back(fileOffsetFor(base, index));
    out.bytes = std::move(decoded);
    return out;
}

NodeData readNodeData(MessageBase& base, BlockIndex index) {
    if (!validIndex(base, index)) return {};
    Bytes raw = readBlock(base, index, false);
    if (raw.empty()) return {};
    if ((base.blockTable[index].blockId & ndb::kInternalBlockBit) && looksLikeDataTree(raw))
        return expandDataTree(base, index);
    base.decodeBlockBytes(raw.data(), raw.size(), base.blockTable[index].blockId);
    return singleBlock(base, index, std::move(raw));
}

bool visitNodeData(MessageBase& base, BlockIndex index,
                   const std::function<void(ByteView block, std::uint64_t fileOffset)>& visit) {
    if (!validIndex(base, index)) return false;
    Bytes raw = readBlock(base, index, false);
    if (raw.empty()) return false;
    const BlockEntry& top = base.blockTable[index];
    if (!(top.blockId & ndb::kInternalBlockBit) || !looksLikeDataTree(raw)) {
        base.decodeBlockBytes(raw.data(), raw.size(), top.blockId);
        visit(raw, fileOffsetFor(base, index));
        return true;
    }
    const TreeLeaves leaves = listTree(base, index);
    Bytes buffer;
    for (const BlockIndex leaf : leaves.blocks) {
        const BlockEntry& block = base.blockTable[leaf];
        buffer.resize(blockDataSize(base, block));
        if (!readBlockDataInto(base, block, buffer)) return false;
        base.decodeBlockBytes(buffer.data(), buffer.size(), block.blockId);
        visit(buffer, fileOffsetFor(base, leaf));
    }
    return leaves.complete;
}

}  // namespace brevik
