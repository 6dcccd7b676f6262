// The node database layer of [MS-PST]: pages, blocks, node ids and the header's fixed places,
// for the readers and the writer alike. Sizes without a layout argument are the Unicode ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevik::ndb {

// --- pages ---
inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kPageTrailerSize = 16;  // [MS-PST] PAGETRAILER
inline constexpr std::size_t kPageDataSize = kPageSize - kPageTrailerSize;

enum PageType : std::uint8_t {
    kBlockBTree = 0x80,
    kNodeBTree = 0x81,
    kFMap = 0x82,
    kPMap = 0x83,
    kAMap = 0x84,
    kFPMap = 0x85,
    kDList = 0x86,
};

// --- blocks ([MS-PST] BLOCK): data, padding to 64 bytes and a trailer, 8192 bytes at most ---
inline constexpr std::uint64_t kBlockAlignment = 64;
inline constexpr std::uint64_t kMaxBlockExtent = 8192;
inline constexpr std::size_t kBlockTrailerSize = 16;  // Unicode; a layout's blockTrailerSize
inline constexpr std::size_t kMaxBlockData = kMaxBlockExtent - kBlockTrailerSize;  // 8176

inline constexpr std::uint64_t alignUp(std::uint64_t v, std::uint64_t a) {
    return (v + a - 1) / a * a;
}

inline constexpr std::uint64_t kInternalBlockBit = 0x2;  // bit set on the ids of internal blocks

// [MS-PST] ComputeSig: the 16-bit signature of a page or block at `offset` with id `bid`.
inline constexpr std::uint16_t blockSignature(std::uint64_t offset, std::uint64_t bid) {
    const auto mixed = static_cast<std::uint32_t>(offset ^ bid);
    return static_cast<std::uint16_t>((mixed >> 16) ^ (mixed & 0xFFFF));
}

// Internal blocks ([MS-PST] XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK): btype, cLevel, cEnt, then entries.
inline constexpr std::uint8_t kDataTreeBlock = 0x01;
inline constexpr std::uint8_t kSubnodeBlock = 0x02;
inline constexpr std::size_t kTreeHeaderSize = 8;
inline constexpr std::size_t kMaxTreeEntries = (kMaxBlockData - kTreeHeaderSize) / 8;  // 1021
inline constexpr std::size_t kSlEntrySize = 24;
inline constexpr std::size_t kSiEntrySize = 16;
inline constexpr std::size_t kMaxSlEntries = (kMaxBlockData - kTreeHeaderSize) / kSlEntrySize;
inline constexpr std::size_t kMaxSiEntries = (kMaxBlockData - kTreeHeaderSize) / kSiEntrySize;

// B-tree pages ([MS-PST] BTPAGE, Unicode): entries, then cEnt, cEntMax, cbEnt, cLevel.
inline constexpr std::size_t kBtEntriesSize = 488;
inline constexpr std::size_t kBtIndexEntrySize = 24;  // BTENTRY
inline constexpr std::size_t kBbtEntrySize = 24;      // BBTENTRY
inline constexpr std::size_t kNbtEntrySize = 32;      // NBTENTRY

// --- node ids ([MS-PST] NID): a type in bits 0-4, an index above it ---
inline constexpr std::uint32_t kNidTypeMask = 0x1F;
inline constexpr unsigned kNidIndexShift = 5;
enum NidType : std::uint8_t {
    kNidTypeNormalFolder = 0x02,
    kNidTypeSearchFolder = 0x03,
    kNidTypeNormalMessage = 0x04,
    kNidTypeAttachment = 0x05,
    kNidTypeAssociatedMessage = 0x08,
    kNidTypeHierarchyTable = 0x0D,
    kNidTypeContentsTable = 0x0E,
    kNidTypeAssocContentsTable = 0x0F,
    kNidTypeLtp = 0x1F,
};
inline constexpr std::uint32_t nidType(std::uint32_t nid) {
    return nid & kNidTypeMask;
}

// Node ids of 2^20 and above are items; below it, with a parent, folders.
inline constexpr std::uint32_t kFirstMessageNodeId = 1048576;

// Node ids the format fixes ([MS-PST] special NIDs); the subnode ids of an item's tables.
inline constexpr std::uint32_t kNidMessageStore = 0x21;
inline constexpr std::uint32_t kNidNameToIdMap = 0x61;
inline constexpr std::uint32_t kNidNormalFolderTemplate = 0xA1;
inline constexpr std::uint32_t kNidSearchFolderTemplate = 0xC1;
inline constexpr std::uint32_t kNidRootFolder = 0x122;
inline constexpr std::uint32_t kNidSearchManagementQueue = 0x1E1;
inline constexpr std::uint32_t kNidSearchActivityList = 0x201;
inline constexpr std::uint32_t kNidHierarchyTableTemplate = 0x60D;
inline constexpr std::uint32_t kNidContentsTableTemplate = 0x60E;
inline constexpr std::uint32_t kNidAssocContentsTableTemplate = 0x60F;
inline constexpr std::uint32_t kNidSearchContentsTableTemplate = 0x610;
inline constexpr std::uint32_t kNidAttachmentTable = 0x671;
inline constexpr std::uint32_t kNidRecipientTable = 0x692;
// The top of the personal folders, as the files Outlook writes number it.
inline constexpr std::uint32_t kNidIpmSubtree = 0x8022;

// --- the header ([MS-PST] HEADER) ---
inline constexpr std::uint64_t kVersionPos = 10;  // wVer: 14 and 15 ANSI, 23 Unicode, 36 4 KiB
inline constexpr std::uint16_t kUnicodeVersion = 23;
// Offline files of Outlook 2013 and later: Unicode with 4 KiB pages and deflated blocks.
inline constexpr std::uint16_t kUnicode4kVersion = 36;

// One layout of the file ([MS-PST] ANSI or Unicode) as values: the sizes of its pages and blocks,
// where the header keeps the index roots (the BREF's ib, its bid 8 bytes before) and the crypt
// method, how index pages are laid out, and the shape of page and block trailers. A layout with
// other pages is one more value.
struct PageLayout {
    std::uint32_t pageSize = 0;
    std::uint32_t blockAlignment = 0;  // blocks start on and fill multiples of it
    std::uint32_t maxBlockExtent = 0;  // the most a block takes, trailer included
    std::uint32_t bbtRootPos = 0;
    std::uint32_t nbtRootPos = 0;
    std::uint16_t leafBbtKey =
        0;  // cbEnt | cLevel << 8 of a leaf block page; intermediate entry size
    std::uint16_t leafNbtKey = 0;
    std::uint16_t levelFieldPos = 0;
    std::uint16_t entryCountPos = 0;
    std::uint16_t cryptMethodPos = 0;
    std::uint16_t fileEofPos = 0;  // ROOT's ibFileEof: where the file should end
    // The page trailer ([MS-PST] PAGETRAILER): ptype, ptypeRepeat and wSig at `trailerPos`, then
    // dwCRC and the page's bid (Unicode) or the bid and dwCRC (ANSI). The CRC covers the bytes
    // before the trailer.
    std::uint16_t trailerPos = 0;
    std::uint16_t crcPos = 0;
    std::uint16_t bidPos = 0;
    std::uint8_t bidWidth = 0;          // bytes of a block id: 4 ANSI, 8 Unicode
    std::uint8_t blockTrailerSize = 0;  // [MS-PST] BLOCKTRAILER
    std::uint8_t entryCountWidth = 1;   // cEnt and cEntMax: 1 byte, 2 with 4 KiB pages
    std::uint8_t hidBlockShift = 16;    // an HID's block index starts here; 19 with 4 KiB pages
    // Block index entries and block trailers carry the inflated size beside the stored one; a
    // block whose two sizes differ is deflated (zlib).
    bool inflatedSizes = false;

    static constexpr PageLayout ansi() {
        return {kPageSize,
                kBlockAlignment,
                kMaxBlockExtent,
                196,
                188,
                12,
                16,
                498,
                496,
                461,
                168,
                500,
                508,
                504,
                4,
                12};
    }
    static constexpr PageLayout unicode() {
        return {kPageSize,
                kBlockAlignment,
                kMaxBlockExtent,
                240,
                224,
                24,
                32,
                490,
                488,
                513,
                184,
                496,
                500,
                504,
                8,
                16};
    }
    // The 4 KiB-page layout: 4096-byte pages whose trailer (24 bytes) ends with 8 unknown bytes,
    // 16-bit entry counts, blocks on 512-byte boundaries up to 64 KiB with a 24-byte trailer.
    static constexpr PageLayout unicode4k() {
        return {4096, 512,  65536, 240,  224, 24, 32, 4060, 4056, 513,
                184,  4072, 4076,  4080, 8,   24, 2,  19,   true};
    }
    static constexpr PageLayout of(bool unicode) {
        return unicode ? PageLayout::unicode() : ansi();
    }
    bool operator==(const PageLayout&) const = default;
};

// The bytes a block of `byteCount` data bytes takes in the file, trailer included.
inline constexpr std::uint64_t blockExtent(std::uint64_t byteCount, const PageLayout& layout) {
    return alignUp(byteCount + layout.blockTrailerSize, layout.blockAlignment);
}

// The most one block's data inflates to: what its extent could hold stored.
inline constexpr std::uint64_t maxBlockData(const PageLayout& layout) {
    return layout.maxBlockExtent - layout.blockTrailerSize;
}

// --- the allocation maps (Unicode) ---
// One AMap page heads each 253,952-byte section from 0x4400 on; a PMap follows it in every
// eighth section, an FMap in section 128 and every 496th after it, an FPMap in section 8192 and
// every 31,744th after it.
inline constexpr std::uint64_t kHeaderSize = 564;
// The header's own checks: "!BDN" at its start; dwCRCPartial of the 471 bytes from offset 8 (both
// layouts) and, in Unicode files, dwCRCFull of the 516 bytes from offset 8.
inline constexpr char kHeaderMagic[4] = {'!', 'B', 'D', 'N'};
inline constexpr std::size_t kHeaderCrcStart = 8;
inline constexpr std::size_t kHeaderPartialCrcPos = 4;
inline constexpr std::size_t kHeaderPartialCrcLength = 471;
inline constexpr std::size_t kHeaderFullCrcPos = 524;
inline constexpr std::size_t kHeaderFullCrcLength = 516;
inline constexpr std::uint64_t kDListOffset = 0x4200;
inline constexpr std::uint64_t kFirstAMapOffset = 0x4400;
inline constexpr std::uint64_t kAMapCoverage = 496 * 8 * 64;
inline constexpr std::uint64_t kFMapFirstSection = 128;
inline constexpr std::uint64_t kFMapInterval = 496;
inline constexpr std::uint64_t kFPMapFirstSection = 128 * 8 * 8;
inline constexpr std::uint64_t kFPMapInterval = 496 * 8 * 8;

// With 4 KiB pages: the density list at 0x21000, then from 0x22000 one AMap page per section,
// each of whose 4072 bytes' bits maps 512 bytes. No PMap, FMap or FPMap pages.
inline constexpr std::uint64_t kDListOffset4k = 0x21000;
inline constexpr std::uint64_t kFirstAMapOffset4k = 0x22000;
inline constexpr std::uint64_t kAMapBytes4k = 4072;
inline constexpr std::uint64_t kAMapCoverage4k = kAMapBytes4k * 8 * 512;

}  // namespace brevik::ndb
