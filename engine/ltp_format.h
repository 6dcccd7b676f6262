// The lists, tables and properties layer of [MS-PST] inside a node's data: the heap-on-node,
// its B-tree, property and table contexts. The message layer reads it and the .pst writer
// builds it; it sits in the engine because the encoding vote samples the heap's signature.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevik::ltp {

// --- heap-on-node ([MS-PST] HN): HNHDR in the first block, HNBITMAPHDR in every 128th from
// block 8, HNPAGEHDR in the others; each block ends with its HNPAGEMAP ---
inline constexpr std::uint8_t kHeapSignature = 0xEC;  // bSig, at offset 2 of the first block
inline constexpr std::size_t kHeapHeaderSize = 12;    // HNHDR
inline constexpr std::size_t kPageHeaderSize = 2;     // HNPAGEHDR
inline constexpr std::size_t kBitmapHeaderSize = 66;  // HNBITMAPHDR
inline constexpr std::size_t kPageMapHeaderSize = 4;  // HNPAGEMAP's cAlloc and cFree
inline constexpr std::size_t kMaxAllocation = 3580;

// The client of a heap (bClientSig), at offset 3 of its first block.
enum ClientSignature : std::uint8_t {
    kClientTableContext = 0x7C,
    kClientBth = 0xB5,
    kClientPropertyContext = 0xBC,
};

// An HID: type 0 in bits 0-4, a 1-based index in bits 5-15, the block index in bits 16-31.
inline constexpr std::uint32_t kHidTypeMask = 0x1F;
inline constexpr unsigned kHidIndexShift = 5;
inline constexpr std::uint32_t kHidIndexMask = 0x7FF;
inline constexpr std::size_t kMaxAllocsPerBlock = kHidIndexMask;
inline constexpr std::size_t kMaxHeapBlocks = 0xFFFF;
inline constexpr std::uint32_t hidIndex(std::uint32_t hid) {
    return (hid >> kHidIndexShift) & kHidIndexMask;
}
inline constexpr std::uint32_t makeHid(std::uint32_t blockIndex, std::uint32_t index) {
    return (blockIndex << 16) | (index << kHidIndexShift);
}
// With 4 KiB pages the block index starts at bit `blockShift` (19) and the index fills the bits
// between (14 of them); with 16 these are the [MS-PST] HID above.
inline constexpr std::uint32_t hidBlock(std::uint32_t hid, unsigned blockShift) {
    return hid >> blockShift;
}
inline constexpr std::uint32_t hidIndex(std::uint32_t hid, unsigned blockShift) {
    return (hid >> kHidIndexShift) & ((1u << (blockShift - kHidIndexShift)) - 1);
}
inline constexpr std::uint32_t makeHid(std::uint32_t blockIndex, std::uint32_t index,
                                       unsigned blockShift) {
    return (blockIndex << blockShift) | (index << kHidIndexShift);
}

// --- B-tree on the heap ([MS-PST] BTHHEADER), property and table contexts ---
inline constexpr std::size_t kBthHeaderSize = 8;
inline constexpr std::uint8_t kPcKeySize = 2;
inline constexpr std::size_t kPcRecordSize = 8;  // PC BTH record: wPropId, wPropType, dwValueHnid
inline constexpr std::uint8_t kTcKeySize = 4;
inline constexpr std::size_t kTcInfoSize = 22;   // TCINFO without its columns
inline constexpr std::size_t kTcColumnSize = 8;  // TCOLDESC

}  // namespace brevik::ltp
