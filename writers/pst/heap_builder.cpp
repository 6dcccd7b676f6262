#include "writers/pst/heap_builder.h"

#include <algorithm>
#include <cstring>

#include "engine/ndb_format.h"

namespace brevik::pst {
namespace {

std::size_t align2(std::size_t v) {
    return (v + 1) & ~std::size_t{1};
}

std::size_t pageMapSize(std::size_t allocations) {
    return 4 + 2 * (allocations + 1);
}

bool isBitmapBlock(std::size_t index) {
    return index >= 8 && (index - 8) % 128 == 0;
}

// [MS-PST] fill levels, from the free bytes of a block.
std::uint8_t fillLevel(std::size_t freeBytes) {
    static constexpr std::size_t kLimits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                              512,  256,  128,  64,   32,   16,   8};
    for (std::uint8_t level = 0; level < 15; ++level)
        if (freeBytes >= kLimits[level]) return level;
    return 15;
}

}  // namespace

HeapBuilder::HeapBuilder(HeapClient client, unsigned hidBlockShift)
    : client_(client), hidBlockShift_(hidBlockShift) {
    startBlock();
}

std::size_t HeapBuilder::headerSize(std::size_t blockIndex) {
    if (blockIndex == 0) return ltp::kHeapHeaderSize;
    return isBitmapBlock(blockIndex) ? ltp::kBitmapHeaderSize : ltp::kPageHeaderSize;
}

void HeapBuilder::startBlock() {
    Block b;
    b.bytes.assign(headerSize(blocks_.size()), 0);
    b.bytes.reserve(ndb::kMaxBlockData);
    blocks_.push_back(std::move(b));
}

std::uint32_t HeapBuilder::allocate(ByteView data) {
    if (data.size() > ltp::kMaxAllocation) return 0;
    Block* b = &blocks_.back();
    const auto fits = [&](const Block& blk) {
        return blk.at.size() < ltp::kMaxAllocsPerBlock &&
               align2(blk.bytes.size() + data.size()) + pageMapSize(blk.at.size() + 1) <=
                   ndb::kMaxBlockData;
    };
    if (!fits(*b)) {
        if (blocks_.size() >= ltp::kMaxHeapBlocks) return 0;
        startBlock();
        b = &blocks_.back();
    }
    b->at.push_back(static_cast<std::uint16_t>(b->bytes.size()));
    b->bytes.insert(b->bytes.end(), data.begin(), data.end());
    const auto blockIndex = static_cast<std::uint32_t>(blocks_.size() - 1);
    return ltp::makeHid(blockIndex, static_cast<std::uint32_t>(b->at.size()), hidBlockShift_);
}

void HeapBuilder::overwrite(std::uint32_t hid, ByteView data) {
    Block& b = blocks_.at(ltp::hidBlock(hid, hidBlockShift_));
    const std::size_t index = ltp::hidIndex(hid, hidBlockShift_) - 1;
    std::memcpy(b.bytes.data() + b.at.at(index), data.data(), data.size());
}

std::vector<Bytes> HeapBuilder::finish() {
    std::vector<Bytes> out;
    out.reserve(blocks_.size());
    std::vector<std::uint8_t> levels;
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        Block& b = blocks_[i];
        const std::size_t dataEnd = b.bytes.size();
        const std::size_t mapAt = align2(dataEnd);
        Bytes bytes = std::move(b.bytes);
        bytes.resize(mapAt + pageMapSize(b.at.size()), 0);
        store16(bytes.data(), static_cast<std::uint16_t>(mapAt));
        std::uint8_t* map = bytes.data() + mapAt;
        store16(map, static_cast<std::uint16_t>(b.at.size()));
        store16(map + 2, 0);
        for (std::size_t k = 0; k < b.at.size(); ++k)
            store16(map + 4 + 2 * k, b.at[k]);
        store16(map + 4 + 2 * b.at.size(), static_cast<std::uint16_t>(dataEnd));
        levels.push_back(fillLevel(ndb::kMaxBlockData - bytes.size()));
        out.push_back(std::move(bytes));
    }
    // Fill levels: four bits a block, the first eight in HNHDR, then 128 per HNBITMAPHDR.
    auto setLevel = [](std::uint8_t* field, std::size_t k, std::uint8_t level) {
        field[k / 2] |= static_cast<std::uint8_t>(level << (4 * (k % 2)));
    };
    Bytes& first = out.front();
    first[2] = ltp::kHeapSignature;
    first[3] = static_cast<std::uint8_t>(client_);
    store32(first.data() + 4, userRoot_);
    for (std::size_t k = 0; k < 8 && k < levels.size(); ++k)
        setLevel(first.data() + 8, k, levels[k]);
    for (std::size_t i = 8; i < out.size(); i += 128)
        for (std::size_t k = 0; k < 128 && i + k < levels.size(); ++k)
            setLevel(out[i].data() + 2, k, levels[i + k]);
    blocks_.clear();
    startBlock();
    return out;
}

std::uint32_t writeBth(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize,
                       ByteView records, std::size_t count, std::uint32_t headerHid) {
    Bytes header(ltp::kBthHeaderSize, 0);
    header[0] = ltp::kClientBth;
    header[1] = keySize;
    header[2] = dataSize;
    if (headerHid == 0) headerHid = heap.allocate(header);
    heap.overwrite(headerHid, header);
    if (count == 0) return headerHid;

    // Leaves, then index levels of (first key, HID) until one node remains.
    std::size_t recordSize = std::size_t{keySize} + dataSize;
    std::vector<std::pair<Bytes, std::uint32_t>> level;  // first key, node HID
    for (std::size_t first = 0; first < count;) {
        const std::size_t n = std::min(ltp::kMaxAllocation / recordSize, count - first);
        const ByteView node = records.subspan(first * recordSize, n * recordSize);
        level.emplace_back(Bytes(node.begin(), node.begin() + keySize), heap.allocate(node));
        first += n;
    }
    std::uint8_t depth = 0;
    recordSize = std::size_t{keySize} + 4;
    while (level.size() > 1) {
        ++depth;
        std::vector<std::pair<Bytes, std::uint32_t>> upper;
        const std::size_t perNode = ltp::kMaxAllocation / recordSize;
        for (std::size_t first = 0; first < level.size(); first += perNode) {
            const std::size_t n = std::min(perNode, level.size() - first);
            Bytes node(n * recordSize);
            for (std::size_t k = 0; k < n; ++k) {
                std::memcpy(node.data() + k * recordSize, level[first + k].first.data(), keySize);
                store32(node.data() + k * recordSize + keySize, level[first + k].second);
            }
            upper.emplace_back(level[first].first, heap.allocate(node));
        }
        level = std::move(upper);
    }
    header[3] = depth;
    store32(header.data() + 4, level.front().second);
    heap.overwrite(headerHid, header);
    return headerHid;
}

}  // namespace brevik::pst
