// Builds node data in memory: heap-on-node blocks with PC/BTH and TC structures, data trees and
// plain blocks, installed into a RecoveredBase backed by a memory image.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/bytes.h"
#include "engine/index_entries.h"
#include "recovery/recovered_base.h"

namespace brevik::test {

// A heap-on-node, block by block. HIDs follow [MS-PST]: block index << 16 | alloc index << 5.
class HeapBuilder {
  public:
    explicit HeapBuilder(std::uint8_t clientSig);
    // Adds an allocation to the current block and returns its HID.
    std::uint32_t add(const Bytes& data);
    // Starts the next heap block; later allocations go there.
    void nextBlock();
    void setUserRoot(std::uint32_t hid) { userRoot_ = hid; }
    std::size_t blockCount() const { return blocks_.size(); }
    // Each heap block with its header and page map, not encoded.
    std::vector<Bytes> blocks() const;

  private:
    std::vector<std::vector<Bytes>> blocks_;
    std::uint8_t client_;
    std::uint32_t userRoot_ = 0;
};

struct PcProp {
    std::uint16_t id;
    std::uint16_t type;
    std::uint32_t value;  // inline value or HNID
};

// Adds a BTH of PC records (sorted by id) and sets it as the heap's user root. With
// `leafSplit` > 0 the records are spread over leaves of that many records under one index level.
std::uint32_t addPropertyContext(HeapBuilder& heap, std::vector<PcProp> props,
                                 std::size_t leafSplit = 0);

struct TcColumn {
    std::uint16_t type;
    std::uint16_t id;
    std::uint16_t offset;
    std::uint8_t width;
    std::uint8_t bit;
};

struct TcLayout {
    std::vector<TcColumn> columns;
    std::uint16_t end4 = 0, end2 = 0, end1 = 0, rowWidth = 0;  // TCI_4b, TCI_2b, TCI_1b, TCI_bm
};

// Adds TCINFO and a row index of `rowIndexBytes` bytes (records of 8 or 6 bytes as the layout
// says, filled with row ids), sets the user root. `hnidRows` is an HID or a subnode NID.
std::uint32_t addTableContext(HeapBuilder& heap, const TcLayout& layout, bool unicode,
                              std::size_t rowIndexBytes, std::uint32_t hnidRows);

// A row matrix for `layout`: each row has every column's cell set from `cells[row][col]`
// (1, 2, 4 or 8 bytes little-endian) and every existence bit set.
Bytes buildRows(const TcLayout& layout, const std::vector<std::vector<std::uint64_t>>& cells);

// The file image and its block table.
class ImageBuilder {
  public:
    ImageBuilder(bool unicode, bool permute);
    // A data block holding `plain` (encoded in the image when permuting).
    BlockIndex addData(const Bytes& plain);
    // A data tree block of the given level over `children`.
    BlockIndex addTree(std::uint8_t level, const std::vector<BlockIndex>& children);
    // A block stored exactly as given, with the given block id.
    BlockIndex addRaw(const Bytes& stored, std::uint64_t blockId);
    // The heap's blocks as one data block, or as a one-level data tree (always when the heap
    // has more than one block). Returns the node's data block index.
    BlockIndex addHeap(const HeapBuilder& heap, bool asTree);

    std::uint64_t blockId(BlockIndex i) const {
        return table_[static_cast<std::size_t>(i)].blockId;
    }
    BlockEntry& entry(BlockIndex i) { return table_[static_cast<std::size_t>(i)]; }
    Bytes& image() { return image_; }
    const std::vector<BlockEntry>& table() const { return table_; }
    bool unicode() const { return unicode_; }
    bool permute() const { return permute_; }
    // Encodes the data blocks added from now on with the cyclic encoding instead.
    void encodeCyclic() {
        cyclic_ = true;
        permute_ = false;
    }

    // Attaches the image and the block table to `base`, with layout and encoding set.
    void install(RecoveredBase& base) const;

  private:
    BlockIndex append(const Bytes& stored, std::uint64_t blockId);
    bool unicode_;
    bool permute_;
    bool cyclic_ = false;
    Bytes image_;
    std::vector<BlockEntry> table_;
    std::uint64_t nextId_ = 4;
};

}  // namespace brevik::test
