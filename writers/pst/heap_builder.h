// A heap-on-node ([MS-PST] HN) built in memory and cut into the node's data blocks: the first
// block starts with HNHDR, every 128th from block 8 with HNBITMAPHDR, the others with
// HNPAGEHDR; each ends with its HNPAGEMAP.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/bytes.h"
#include "engine/ltp_format.h"

namespace brevik::pst {

enum class HeapClient : std::uint8_t {
    TableContext = ltp::kClientTableContext,
    PropertyContext = ltp::kClientPropertyContext,
};

class HeapBuilder {
  public:
    // `hidBlockShift`: where the layout's HIDs keep their block index (16, or 19 with 4 KiB pages).
    explicit HeapBuilder(HeapClient client, unsigned hidBlockShift = 16);

    // Copies `data` into the heap; returns its HID, or 0 when it is larger than 3580 bytes or
    // the heap has no room left.
    std::uint32_t allocate(ByteView data);
    // Overwrites an earlier allocation of the same size.
    void overwrite(std::uint32_t hid, ByteView data);
    void setUserRoot(std::uint32_t hid) { userRoot_ = hid; }
    // The finished blocks, in order. The builder is empty afterwards.
    std::vector<Bytes> finish();

  private:
    struct Block {
        Bytes bytes;                    // header and allocations, without the page map
        std::vector<std::uint16_t> at;  // start of each allocation
    };
    static std::size_t headerSize(std::size_t blockIndex);
    void startBlock();

    HeapClient client_;
    unsigned hidBlockShift_;
    std::uint32_t userRoot_ = 0;
    std::vector<Block> blocks_;
};

// A BTH ([MS-PST] BTHHEADER and its nodes) over `count` fixed-size records, sorted by key and
// laid end to end in `records`. Returns the HID of its header, which goes into `headerHid`
// when that names an 8-byte allocation made earlier (so the header can come first).
std::uint32_t writeBth(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize,
                       ByteView records, std::size_t count, std::uint32_t headerHid = 0);

}  // namespace brevik::pst
