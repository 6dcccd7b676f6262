#include "support/node_builder.h"

#include <algorithm>
#include <memory>

#include "engine/byte_source.h"
#include "engine/index_tables.h"
#include "engine/permute.h"

namespace brevik::test {
namespace {

constexpr std::size_t kImageStart = 1024;  // after a Unicode header
constexpr std::size_t kBlockAlign = 64;

void put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, static_cast<std::uint16_t>(v));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}
void put64(Bytes& b, std::uint64_t v) {
    put32(b, static_cast<std::uint32_t>(v));
    put32(b, static_cast<std::uint32_t>(v >> 32));
}

std::uint32_t bthHeader(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t entrySize,
                        std::uint8_t levels, std::uint32_t root) {
    Bytes h{0xB5, keySize, entrySize, levels};
    put32(h, root);
    return heap.add(h);
}

}  // namespace

HeapBuilder::HeapBuilder(std::uint8_t clientSig) : blocks_(1), client_(clientSig) {}

std::uint32_t HeapBuilder::add(const Bytes& data) {
    blocks_.back().push_back(data);
    const auto block = static_cast<std::uint32_t>(blocks_.size() - 1);
    const auto index = static_cast<std::uint32_t>(blocks_.back().size());
    return block << 16 | index << 5;
}

void HeapBuilder::nextBlock() {
    blocks_.emplace_back();
}

std::vector<Bytes> HeapBuilder::blocks() const {
    std::vector<Bytes> out;
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        Bytes block;
        if (b == 0) {
            put16(block, 0);  // page map offset, patched below
            block.push_back(0xEC);
            block.push_back(client_);
            put32(block, userRoot_);
            put32(block, 0);
        } else {
            put16(block, 0);
        }
        std::vector<std::uint16_t> starts;
        for (const Bytes& a : blocks_[b]) {
            starts.push_back(static_cast<std::uint16_t>(block.size()));
            block.insert(block.end(), a.begin(), a.end());
        }
        starts.push_back(static_cast<std::uint16_t>(block.size()));
        if (block.size() % 2) block.push_back(0);
        store16(block.data(), static_cast<std::uint16_t>(block.size()));
        put16(block, static_cast<std::uint16_t>(blocks_[b].size()));
        put16(block, 0);
        for (std::uint16_t s : starts)
            put16(block, s);
        out.push_back(std::move(block));
    }
    return out;
}

std::uint32_t addPropertyContext(HeapBuilder& heap, std::vector<PcProp> props,
                                 std::size_t leafSplit) {
    std::stable_sort(props.begin(), props.end(),
                     [](const PcProp& a, const PcProp& b) { return a.id < b.id; });
    auto records = [](auto first, auto last) {
        Bytes r;
        for (auto it = first; it != last; ++it) {
            put16(r, it->id);
            put16(r, it->type);
            put32(r, it->value);
        }
        return r;
    };
    std::uint32_t header = 0;
    if (leafSplit == 0) {
        const std::uint32_t root =
            props.empty() ? 0 : heap.add(records(props.begin(), props.end()));
        header = bthHeader(heap, 2, 6, 0, root);
    } else {
        Bytes index;
        for (std::size_t i = 0; i < props.size(); i += leafSplit) {
            const auto last =
                props.begin() + static_cast<std::ptrdiff_t>(std::min(props.size(), i + leafSplit));
            const std::uint32_t leaf =
                heap.add(records(props.begin() + static_cast<std::ptrdiff_t>(i), last));
            put16(index, props[i].id);
            put32(index, leaf);
        }
        header = bthHeader(heap, 2, 6, 1, heap.add(index));
    }
    heap.setUserRoot(header);
    return header;
}

std::uint32_t addTableContext(HeapBuilder& heap, const TcLayout& layout, bool unicode,
                              std::size_t rowIndexBytes, std::uint32_t hnidRows) {
    Bytes rowIndex;
    for (std::uint32_t r = 0; rowIndex.size() < rowIndexBytes; ++r) {
        put32(rowIndex, 0x1000 + r);
        if (unicode)
            put32(rowIndex, r);
        else
            put16(rowIndex, static_cast<std::uint16_t>(r));
    }
    rowIndex.resize(rowIndexBytes);
    const std::uint32_t root = rowIndexBytes ? heap.add(rowIndex) : 0;
    const std::uint32_t header = bthHeader(heap, 4, unicode ? 4 : 2, 0, root);

    Bytes info{0x7C, static_cast<std::uint8_t>(layout.columns.size())};
    put16(info, layout.end4);
    put16(info, layout.end2);
    put16(info, layout.end1);
    put16(info, layout.rowWidth);
    put32(info, header);
    put32(info, hnidRows);
    put32(info, 0);
    for (const auto& c : layout.columns) {
        put32(info, static_cast<std::uint32_t>(c.id) << 16 | c.type);
        put16(info, c.offset);
        info.push_back(c.width);
        info.push_back(c.bit);
    }
    const std::uint32_t hid = heap.add(info);
    heap.setUserRoot(hid);
    return hid;
}

Bytes buildRows(const TcLayout& layout, const std::vector<std::vector<std::uint64_t>>& cells) {
    Bytes out;
    for (const auto& rowCells : cells) {
        Bytes row(layout.rowWidth, 0);
        for (std::size_t k = 0; k < layout.columns.size() && k < rowCells.size(); ++k) {
            const auto& c = layout.columns[k];
            for (std::size_t i = 0; i < c.width && c.offset + i < row.size(); ++i)
                row[c.offset + i] = static_cast<std::uint8_t>(rowCells[k] >> (8 * i));
            const std::size_t ceb = layout.end1 + c.bit / 8u;
            if (ceb < row.size()) row[ceb] |= static_cast<std::uint8_t>(0x80u >> (c.bit % 8u));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

ImageBuilder::ImageBuilder(bool unicode, bool permute)
    : unicode_(unicode), permute_(permute), image_(kImageStart, 0) {}

BlockIndex ImageBuilder::append(const Bytes& stored, std::uint64_t blockId) {
    BlockEntry e;
    e.fileOffset = image_.size();
    e.byteCount = static_cast<std::uint16_t>(stored.size());
    e.refCount = 1;
    e.blockId = blockId;
    e.reachable = 1;
    image_.insert(image_.end(), stored.begin(), stored.end());
    image_.resize((image_.size() + kBlockAlign - 1) / kBlockAlign * kBlockAlign, 0);
    table_.push_back(e);
    return static_cast<BlockIndex>(table_.size() - 1);
}

BlockIndex ImageBuilder::addData(const Bytes& plain) {
    Bytes stored = plain;
    const std::uint64_t id = nextId_;
    if (permute_) encodePermute(stored.data(), stored.size());
    if (cyclic_) cryptCyclic(stored.data(), stored.size(), static_cast<std::uint32_t>(id));
    nextId_ += 4;
    return append(stored, id);
}

BlockIndex ImageBuilder::addTree(std::uint8_t level, const std::vector<BlockIndex>& children) {
    Bytes t{0x01, level};
    put16(t, static_cast<std::uint16_t>(children.size()));
    put32(t, 0);  // total length, not used by readers
    for (BlockIndex c : children) {
        const std::uint64_t id = c >= 0 ? blockId(c) : 0xFFFFF0;
        if (unicode_)
            put64(t, id);
        else
            put32(t, static_cast<std::uint32_t>(id));
    }
    const std::uint64_t id = nextId_ | 2;
    nextId_ += 4;
    return append(t, id);
}

BlockIndex ImageBuilder::addRaw(const Bytes& stored, std::uint64_t blockId) {
    return append(stored, blockId);
}

BlockIndex ImageBuilder::addHeap(const HeapBuilder& heap, bool asTree) {
    const std::vector<Bytes> blocks = heap.blocks();
    if (blocks.size() == 1 && !asTree) return addData(blocks[0]);
    std::vector<BlockIndex> children;
    for (const Bytes& b : blocks)
        children.push_back(addData(b));
    return addTree(1, children);
}

void ImageBuilder::install(RecoveredBase& base) const {
    base.attachSource(std::make_unique<MemorySource>(image_));
    base.formatCode = unicode_ ? 65532 : 15;
    base.layout = unicode_ ? PageLayout::unicode() : PageLayout::ansi();
    base.encodingState = cyclic_    ? encoding::kCyclicEarly
                         : permute_ ? encoding::kPermuteEarly
                                    : encoding::kPlainEarly;
    base.blockTable = table_;
    base.blockIdIndex.clear();
    for (std::size_t i = 0; i < table_.size(); ++i)
        base.blockIdIndex.push_back({table_[i].blockId, static_cast<BlockIndex>(i)});
    std::stable_sort(
        base.blockIdIndex.begin(), base.blockIdIndex.end(),
        [](const BlockIdRef& a, const BlockIdRef& b) { return a.blockId < b.blockId; });
    base.blockIdIndex.erase(std::unique(base.blockIdIndex.begin(), base.blockIdIndex.end(),
                                        [](const BlockIdRef& a, const BlockIdRef& b) {
                                            return a.blockId == b.blockId;
                                        }),
                            base.blockIdIndex.end());
    indexBlockIds(base);
    base.indexBlockOffsets();
}

}  // namespace brevik::test
