#include "writers/pst/table_context.h"

#include <algorithm>
#include <cstring>

#include "writers/pst/heap_builder.h"
#include "writers/pst/property_context.h"

namespace brevik::pst {
namespace {

bool isFixedCell(std::uint16_t type) {
    return isInlineType(type) || tableCellSize(type) == 8;
}

}  // namespace

TableBuilder::TableBuilder(std::vector<std::uint32_t> tags) {
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    if (!std::binary_search(tags.begin(), tags.end(), kRowIdTag)) {
        if (tags.size() >= kMaxTableColumns) tags.pop_back();
        tags.push_back(kRowIdTag);
        std::sort(tags.begin(), tags.end());
    }
    if (tags.size() > kMaxTableColumns) {  // cCols is one byte: keep the row id and the first
        tags.erase(std::remove(tags.begin(), tags.end(), kRowIdTag), tags.end());
        tags.resize(kMaxTableColumns - 1);
        tags.push_back(kRowIdTag);
        std::sort(tags.begin(), tags.end());
    }
    for (std::uint32_t tag : tags)
        columns_.push_back({tag, 0, tableCellSize(static_cast<std::uint16_t>(tag)), 0});

    // Row layout: the row id first, then 8-byte, 4-byte, 2-byte and 1-byte cells, then the
    // cell existence bitmap. Bits follow the same order, the row id's being bit 0.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].tag != kRowIdTag) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return columns_[a].size > columns_[b].size;
    });
    std::size_t at = 4;
    std::uint8_t bit = 1;
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].tag == kRowIdTag) columns_[i].offset = 0, columns_[i].bit = 0;
    for (std::size_t i : order) {
        columns_[i].offset = static_cast<std::uint16_t>(at);
        columns_[i].bit = bit++;
        at += columns_[i].size;
        if (columns_[i].size >= 4) ends_[0] = static_cast<std::uint16_t>(at);
        if (columns_[i].size >= 2) ends_[1] = static_cast<std::uint16_t>(at);
        ends_[2] = static_cast<std::uint16_t>(at);
    }
    ends_[0] = std::max<std::uint16_t>(ends_[0], 4);
    ends_[1] = std::max(ends_[1], ends_[0]);
    ends_[2] = std::max(ends_[2], ends_[1]);
    rowSize_ = ends_[2] + (columns_.size() + 7) / 8;
    ends_[3] = static_cast<std::uint16_t>(rowSize_);
    for (std::size_t i = 0; i < columns_.size(); ++i)
        byTag_.emplace(columns_[i].tag, i);
}

std::size_t TableBuilder::addRow(std::uint32_t rowId, const PropertyList& cells) {
    std::size_t unmatched = 0;
    const std::size_t rowAt = rows_.size();
    rows_.resize(rowAt + rowSize_, 0);
    std::uint8_t* row = rows_.data() + rowAt;
    std::uint8_t* bitmap = row + ends_[2];
    store32(row, rowId);
    bitmap[0] |= 0x80;
    for (const Property& p : cells) {
        const auto it = byTag_.find((static_cast<std::uint32_t>(p.id) << 16) | p.type);
        if (it == byTag_.end()) ++unmatched;
        if (it == byTag_.end() || columns_[it->second].tag == kRowIdTag) continue;
        const Column& col = columns_[it->second];
        std::uint8_t* cell = rows_.data() + rowAt + col.offset;
        if (bitmap[col.bit / 8] & (0x80u >> (col.bit % 8))) continue;  // first value wins
        if (isFixedCell(p.type)) {
            std::memcpy(cell, p.value.data(), std::min<std::size_t>(col.size, p.value.size()));
        } else {
            varCells_.push_back(
                {rowAt + col.offset, pool_.size(), static_cast<std::uint32_t>(p.value.size())});
            pool_.insert(pool_.end(), p.value.begin(), p.value.end());
        }
        bitmap[col.bit / 8] |= static_cast<std::uint8_t>(0x80u >> (col.bit % 8));
    }
    rowIds_.push_back(rowId);
    return unmatched;
}

std::vector<Bytes> TableBuilder::build(SubnodeSink& subnodes) {
    HeapBuilder heap(HeapClient::TableContext, subnodes.ndb().layout().hidBlockShift);
    Bytes info(ltp::kTcInfoSize + columns_.size() * ltp::kTcColumnSize, 0);
    const std::uint32_t infoHid = heap.allocate(info);

    // The structure first (row index, and the row matrix when it fits in the heap), so that a
    // heap that fills up only pushes cell values out to subnodes.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index(rowIds_.size());
    for (std::size_t i = 0; i < rowIds_.size(); ++i)
        index[i] = {rowIds_[i], static_cast<std::uint32_t>(i)};
    std::sort(index.begin(), index.end());
    Bytes records(index.size() * 8);
    for (std::size_t i = 0; i < index.size(); ++i) {
        store32(records.data() + i * 8, index[i].first);
        store32(records.data() + i * 8 + 4, index[i].second);
    }
    const std::uint32_t rowIndex = writeBth(heap, ltp::kTcKeySize, 4, records, index.size());
    const bool matrixInHeap = !rows_.empty() && rows_.size() <= ltp::kMaxAllocation;
    const std::uint32_t matrixHid = matrixInHeap ? heap.allocate(rows_) : 0;

    for (const VarCell& v : varCells_) {
        std::uint32_t hnid = 0;
        const ByteView value(pool_.data() + v.poolAt, v.length);
        if (!value.empty()) hnid = heap.allocate(value);
        if (!value.empty() && hnid == 0) hnid = subnodes.addStream(value);
        store32(rows_.data() + v.cellAt, hnid);
    }
    Bytes().swap(pool_);
    std::vector<VarCell>().swap(varCells_);

    std::uint32_t hnidRows = 0;
    if (matrixInHeap) {
        heap.overwrite(matrixHid, rows_);
        hnidRows = matrixHid;
    } else if (!rows_.empty()) {  // each block of the matrix holds whole rows
        hnidRows = subnodes.addStream(rows_, (ndb::kMaxBlockData / rowSize_) * rowSize_);
    }

    info[0] = ltp::kClientTableContext;
    info[1] = static_cast<std::uint8_t>(columns_.size());
    for (int i = 0; i < 4; ++i)
        store16(info.data() + 2 + 2 * i, ends_[i]);
    store32(info.data() + 10, rowIndex);
    store32(info.data() + 14, hnidRows);
    store32(info.data() + 18, 0);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        std::uint8_t* d = info.data() + ltp::kTcInfoSize + i * ltp::kTcColumnSize;
        store32(d, columns_[i].tag);
        store16(d + 4, columns_[i].offset);
        d[6] = columns_[i].size;
        d[7] = columns_[i].bit;
    }
    heap.overwrite(infoHid, info);
    heap.setUserRoot(infoHid);
    return heap.finish();
}

}  // namespace brevik::pst
