#include "writers/pst/ndb_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "engine/crc.h"
#include "engine/ndb_format.h"
#include "engine/permute.h"
#include "engine/trailers.h"

namespace brevik::pst {

using namespace ndb;

namespace {

constexpr std::uint16_t kClientVersion = 19;
constexpr std::uint8_t kAMapValid = 0x02;  // [MS-PST] VALID_AMAP2
constexpr std::uint16_t kBlockRefCount = 2;

// Floors of the next node index per node type, as a fresh store starts them.
std::uint32_t nidIndexFloor(std::size_t type) {
    switch (type) {
        case kNidTypeSearchFolder:
            return 0x4000;
        case kNidTypeNormalMessage:
            return 0x10000;
        case kNidTypeAssociatedMessage:
            return 0x8000;
        default:
            return 0x400;
    }
}

}  // namespace

NdbWriter::NdbWriter(FileSink& sink, bool permute, bool cyclic, bool pages4k)
    : sink_(sink),
      L_(pages4k ? PageLayout::unicode4k() : PageLayout::unicode()),
      permute_(permute && !cyclic && !pages4k),
      cyclic_(cyclic && !pages4k),
      deflate_(pages4k) {
    ensureSection(0);
    cursor_ = firstAMap() + reservedBytes(0);
    scratch_.reserve(L_.maxBlockExtent);
}

std::uint64_t NdbWriter::firstAMap() const {
    return deflate_ ? kFirstAMapOffset4k : kFirstAMapOffset;
}
std::uint64_t NdbWriter::sectionCoverage() const {
    return deflate_ ? kAMapCoverage4k : kAMapCoverage;
}
std::uint64_t NdbWriter::sectionMapBytes() const {
    return deflate_ ? kAMapBytes4k : kPageDataSize;
}
std::uint64_t NdbWriter::mapUnit() const {
    return deflate_ ? 512 : kBlockAlignment;
}

void NdbWriter::fail(std::string text) {
    if (error_.ok()) error_ = WriteStatus::failure(WriteError::BadInput, std::move(text));
}

std::uint64_t NdbWriter::nextBid(bool internal) {
    const std::uint64_t bid = bidCounter_ | (internal ? kInternalBlockBit : 0);
    bidCounter_ += 4;
    return bid;
}

std::uint64_t NdbWriter::reservedBytes(std::uint64_t section) const {
    if (deflate_) return L_.pageSize;  // the AMap alone
    std::uint64_t pages = 1;           // the AMap
    if (section % 8 == 0) ++pages;
    if (section >= kFMapFirstSection && (section - kFMapFirstSection) % kFMapInterval == 0) ++pages;
    if (section >= kFPMapFirstSection && (section - kFPMapFirstSection) % kFPMapInterval == 0)
        ++pages;
    return pages * kPageSize;
}

void NdbWriter::ensureSection(std::uint64_t section) {
    while (sections_ <= section) {
        allocationBits_.resize(allocationBits_.size() + sectionMapBytes(), 0);
        markAllocated(firstAMap() + sections_ * sectionCoverage(), reservedBytes(sections_));
        ++sections_;
    }
}

void NdbWriter::markAllocated(std::uint64_t offset, std::uint64_t size) {
    const std::uint64_t unit = mapUnit();
    const std::uint64_t first = (offset - firstAMap()) / unit;
    const std::uint64_t end = (offset + size - firstAMap() + unit - 1) / unit;
    for (std::uint64_t bit = first; bit < end; ++bit)
        allocationBits_[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
}

std::uint64_t NdbWriter::allocate(std::uint64_t size, std::uint64_t align) {
    for (;;) {
        const std::uint64_t pos = alignUp(cursor_, align);
        const std::uint64_t section = (pos - firstAMap()) / sectionCoverage();
        ensureSection(section);
        const std::uint64_t start = firstAMap() + section * sectionCoverage();
        if (pos < start + reservedBytes(section)) {
            cursor_ = start + reservedBytes(section);
            continue;
        }
        if (pos + size > start + sectionCoverage()) {
            cursor_ = start + sectionCoverage();
            continue;
        }
        cursor_ = pos + size;
        return pos;
    }
}

std::uint64_t NdbWriter::writeBlock(ByteView payload, bool internal, Visibility v) {
    const std::uint64_t bid = nextBid(internal);
    // Data blocks are deflated where that makes them smaller, and stored as they are otherwise:
    // a block is deflated exactly when its stored size differs from its data's.
    ByteView stored = payload;
    if (deflate_ && !internal && !payload.empty()) {
        uLongf length = compressBound(static_cast<uLong>(payload.size()));
        deflated_.resize(length);
        if (compress2(deflated_.data(), &length, payload.data(), static_cast<uLong>(payload.size()),
                      Z_DEFAULT_COMPRESSION) == Z_OK &&
            length < payload.size())
            stored = ByteView(deflated_.data(), length);
    }
    const std::uint64_t size = blockExtent(stored.size(), L_);
    const std::uint64_t offset = allocate(size, L_.blockAlignment);
    scratch_.assign(static_cast<std::size_t>(size), 0);
    std::memcpy(scratch_.data(), stored.data(), stored.size());
    if (!internal && permute_) encodePermute(scratch_.data(), stored.size());
    if (!internal && cyclic_)
        cryptCyclic(scratch_.data(), stored.size(), static_cast<std::uint32_t>(bid));
    BlockTrailer trailer{static_cast<std::uint16_t>(stored.size()), blockSignature(offset, bid),
                         crc32(scratch_.data(), stored.size()), bid};
    trailer.inflatedCount = static_cast<std::uint16_t>(payload.size());
    writeBlockTrailer(scratch_, L_, trailer);
    sink_.write(offset, scratch_);
    const BlockRecord record{bid, offset, static_cast<std::uint16_t>(stored.size()),
                             static_cast<std::uint16_t>(payload.size())};
    if (v == Visibility::Live) {
        markAllocated(offset, size);
        blocks_.push_back(record);
    } else {
        deletedBlocks_.push_back(record);
    }
    return bid;
}

std::uint64_t NdbWriter::writeTree(const std::vector<std::uint64_t>& bids, std::uint64_t totalBytes,
                                   Visibility v) {
    if (bids.empty()) return 0;
    if (bids.size() == 1) return bids.front();
    auto treeBlock = [&](std::uint8_t level, const std::uint64_t* ids, std::size_t count,
                         std::uint64_t bytes) {
        Bytes block(kTreeHeaderSize + count * 8);
        block[0] = kDataTreeBlock;
        block[1] = level;
        store16(block.data() + 2, static_cast<std::uint16_t>(count));
        store32(block.data() + 4, static_cast<std::uint32_t>(bytes));
        for (std::size_t i = 0; i < count; ++i)
            store64(block.data() + kTreeHeaderSize + i * 8, ids[i]);
        return writeBlock(block, true, v);
    };
    if (bids.size() <= kMaxTreeEntries) return treeBlock(1, bids.data(), bids.size(), totalBytes);
    // Two levels: the byte count of each inner tree is only known to be the sum of its blocks,
    // which are all full except possibly the last one of the node.
    std::vector<std::uint64_t> inner;
    const std::uint64_t perInner = kMaxTreeEntries * kMaxBlockData;
    std::uint64_t remaining = totalBytes;
    for (std::size_t i = 0; i < bids.size(); i += kMaxTreeEntries) {
        const std::size_t count = std::min(kMaxTreeEntries, bids.size() - i);
        const std::uint64_t bytes = std::min(remaining, perInner);
        inner.push_back(treeBlock(1, bids.data() + i, count, bytes));
        remaining -= bytes;
    }
    if (inner.size() > kMaxTreeEntries) {
        fail("node data of " + std::to_string(totalBytes) + " bytes is too large for a data tree");
        return 0;
    }
    return treeBlock(2, inner.data(), inner.size(), totalBytes);
}

std::uint64_t NdbWriter::writeData(const std::vector<Bytes>& blocks, Visibility v) {
    std::vector<std::uint64_t> bids;
    bids.reserve(blocks.size());
    std::uint64_t total = 0;
    for (const auto& b : blocks) {
        bids.push_back(writeBlock(b, false, v));
        total += b.size();
    }
    return writeTree(bids, total, v);
}

std::uint64_t NdbWriter::writeStream(ByteView data, std::size_t chunk, Visibility v) {
    if (data.empty()) return 0;
    chunk = std::clamp<std::size_t>(chunk, 1, kMaxBlockData);
    std::vector<std::uint64_t> bids;
    bids.reserve(data.size() / chunk + 1);
    for (std::size_t at = 0; at < data.size(); at += chunk)
        bids.push_back(writeBlock(data.subspan(at, std::min(chunk, data.size() - at)), false, v));
    return writeTree(bids, data.size(), v);
}

std::uint64_t NdbWriter::writeSubnodes(std::vector<SubnodeRef> entries, Visibility v) {
    if (entries.empty()) return 0;
    std::sort(entries.begin(), entries.end(),
              [](const SubnodeRef& a, const SubnodeRef& b) { return a.nid < b.nid; });
    std::vector<SubnodeRef> leaves;  // first nid and block of each SLBLOCK
    for (std::size_t i = 0; i < entries.size(); i += kMaxSlEntries) {
        const std::size_t count = std::min(kMaxSlEntries, entries.size() - i);
        Bytes block(kTreeHeaderSize + count * kSlEntrySize);
        block[0] = kSubnodeBlock;
        block[1] = 0;
        store16(block.data() + 2, static_cast<std::uint16_t>(count));
        for (std::size_t k = 0; k < count; ++k) {
            std::uint8_t* e = block.data() + kTreeHeaderSize + k * kSlEntrySize;
            store64(e, entries[i + k].nid);
            store64(e + 8, entries[i + k].dataBid);
            store64(e + 16, entries[i + k].subnodeBid);
        }
        leaves.push_back({entries[i].nid, writeBlock(block, true, v), 0});
    }
    if (leaves.size() == 1) return leaves.front().dataBid;
    if (leaves.size() > kMaxSiEntries) {
        fail("too many subnodes in one node: " + std::to_string(entries.size()));
        return 0;
    }
    Bytes block(kTreeHeaderSize + leaves.size() * kSiEntrySize);
    block[0] = kSubnodeBlock;
    block[1] = 1;
    store16(block.data() + 2, static_cast<std::uint16_t>(leaves.size()));
    for (std::size_t k = 0; k < leaves.size(); ++k) {
        std::uint8_t* e = block.data() + kTreeHeaderSize + k * kSiEntrySize;
        store64(e, leaves[k].nid);
        store64(e + 8, leaves[k].dataBid);
    }
    return writeBlock(block, true, v);
}

void NdbWriter::addNode(std::uint32_t nid, std::uint32_t parentNid, std::uint64_t dataBid,
                        std::uint64_t subnodeBid, Visibility v) {
    const NodeRecord record{nid, parentNid, dataBid, subnodeBid};
    (v == Visibility::Live ? nodes_ : deletedNodes_).push_back(record);
    auto& next = nextNidIndex_[nidType(nid)];
    next = std::max(next, (nid >> kNidIndexShift) + 1);
}

NdbWriter::PageRef NdbWriter::writePage(std::uint8_t type, Bytes& page, Visibility v) {
    const std::uint64_t bid = nextBid(false);
    const std::uint64_t offset = allocate(L_.pageSize, L_.pageSize);
    writePageTrailer(page, L_, type, bid, blockSignature(offset, bid));
    sink_.write(offset, page);
    if (v == Visibility::Live)
        markAllocated(offset, L_.pageSize);
    else
        ++summary_.stalePages;
    return {0, bid, offset};
}

void NdbWriter::putEntryCounts(Bytes& page, std::size_t count, std::size_t max,
                               std::size_t entrySize, std::uint8_t level) const {
    std::uint8_t* at = page.data() + L_.entryCountPos;
    if (L_.entryCountWidth == 2) {
        store16(at, static_cast<std::uint16_t>(count));
        store16(at + 2, static_cast<std::uint16_t>(max));
    } else {
        at[0] = static_cast<std::uint8_t>(count);
        at[1] = static_cast<std::uint8_t>(max);
    }
    page[L_.levelFieldPos] = static_cast<std::uint8_t>(entrySize);
    page[L_.levelFieldPos + 1] = level;
}

std::vector<NdbWriter::PageRef> NdbWriter::writeLeafPages(bool nodes, Visibility v) {
    const std::size_t entrySize = nodes ? kNbtEntrySize : kBbtEntrySize;
    const std::size_t perPage = L_.entryCountPos / entrySize;
    const std::size_t count = nodes ? (v == Visibility::Live ? nodes_ : deletedNodes_).size()
                                    : (v == Visibility::Live ? blocks_ : deletedBlocks_).size();
    std::vector<PageRef> pages;
    for (std::size_t first = 0; first < count || (first == 0 && v == Visibility::Live);
         first += perPage) {
        Bytes page(L_.pageSize, 0);
        const std::size_t n = std::min(perPage, count - first);
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t* e = page.data() + i * entrySize;
            if (nodes) {
                const auto& r = (v == Visibility::Live ? nodes_ : deletedNodes_)[first + i];
                store64(e, r.nid);
                store64(e + 8, r.dataBid);
                store64(e + 16, r.subnodeBid);
                store32(e + 24, r.parent);
                if (i == 0) key = r.nid;
            } else {
                const auto& r = (v == Visibility::Live ? blocks_ : deletedBlocks_)[first + i];
                store64(e, r.bid);
                store64(e + 8, r.offset);
                store16(e + 16, r.size);
                if (L_.inflatedSizes) {  // cb, cbInflated, cRef
                    store16(e + 18, r.inflatedSize);
                    store16(e + 20, kBlockRefCount);
                } else {
                    store16(e + 18, kBlockRefCount);
                }
                if (i == 0) key = r.bid;
            }
        }
        putEntryCounts(page, n, perPage, entrySize, 0);
        PageRef ref = writePage(nodes ? kNodeBTree : kBlockBTree, page, v);
        ref.key = key;
        pages.push_back(ref);
        if (count == 0) break;
    }
    return pages;
}

NdbWriter::PageRef NdbWriter::writeIndexLevels(std::uint8_t type, std::vector<PageRef> level) {
    const std::size_t perPage = L_.entryCountPos / kBtIndexEntrySize;
    std::uint8_t depth = 0;
    while (level.size() > 1) {
        ++depth;
        std::vector<PageRef> upper;
        for (std::size_t first = 0; first < level.size(); first += perPage) {
            Bytes page(L_.pageSize, 0);
            const std::size_t n = std::min(perPage, level.size() - first);
            for (std::size_t i = 0; i < n; ++i) {
                std::uint8_t* e = page.data() + i * kBtIndexEntrySize;
                store64(e, level[first + i].key);
                store64(e + 8, level[first + i].bid);
                store64(e + 16, level[first + i].offset);
            }
            putEntryCounts(page, n, perPage, kBtIndexEntrySize, depth);
            PageRef ref = writePage(type, page, Visibility::Live);
            ref.key = level[first].key;
            upper.push_back(ref);
        }
        level = std::move(upper);
    }
    return level.front();
}

void NdbWriter::writeMapPages(std::uint64_t sections) {
    const std::uint64_t mapBytes = sectionMapBytes();
    Bytes page(L_.pageSize, 0);
    auto put = [&](std::uint8_t type, std::uint64_t offset) {
        writePageTrailer(page, L_, type, offset, 0);
        sink_.write(offset, page);
    };
    if (deflate_) {  // an AMap per section, nothing else
        for (std::uint64_t s = 0; s < sections; ++s) {
            std::fill(page.begin(), page.end(), 0);
            std::memcpy(page.data(), allocationBits_.data() + s * mapBytes, mapBytes);
            put(kAMap, firstAMap() + s * sectionCoverage());
        }
        return;
    }
    // Longest run of free 64-byte units per section, for the FMaps.
    auto longestFree = [&](std::uint64_t section) {
        unsigned best = 0, run = 0;
        for (std::size_t bit = 0; bit < mapBytes * 8 && best < 255; ++bit) {
            const std::uint8_t byte = allocationBits_[section * mapBytes + bit / 8];
            run = (byte & (0x80u >> (bit % 8))) ? 0 : run + 1;
            best = std::max(best, run);
        }
        return static_cast<std::uint8_t>(std::min(best, 255u));
    };
    for (std::uint64_t s = 0; s < sections; ++s) {
        const std::uint64_t base = kFirstAMapOffset + s * kAMapCoverage;
        std::uint64_t at = base;
        std::fill(page.begin(), page.end(), 0);
        std::memcpy(page.data(), allocationBits_.data() + s * mapBytes, mapBytes);
        put(kAMap, at);
        at += kPageSize;
        if (s % 8 == 0) {
            std::fill(page.begin(), page.end(), 0);
            std::memset(page.data(), 0xFF, kPageDataSize);  // every page taken: the PMap is unused
            put(kPMap, at);
            at += kPageSize;
        }
        if (s >= kFMapFirstSection && (s - kFMapFirstSection) % kFMapInterval == 0) {
            std::fill(page.begin(), page.end(), 0);
            for (std::uint64_t k = 0; k < kPageDataSize && s + k < sections; ++k)
                page[k] = longestFree(s + k);
            put(kFMap, at);
            at += kPageSize;
        }
        if (s >= kFPMapFirstSection && (s - kFPMapFirstSection) % kFPMapInterval == 0) {
            std::fill(page.begin(), page.end(), 0);
            std::memset(page.data(), 0xFF, kPageDataSize);
            put(kFPMap, at);
        }
    }
}

void NdbWriter::writeDList() {
    // An empty density list: readers that use it rebuild it on demand.
    const std::uint64_t at = deflate_ ? kDListOffset4k : kDListOffset;
    Bytes page(L_.pageSize, 0);
    writePageTrailer(page, L_, kDList, at, blockSignature(at, at));
    sink_.write(at, page);
}

void NdbWriter::writeHeader(const PageRef& nodeRoot, const PageRef& blockRoot,
                            std::uint64_t fileEof, std::uint64_t lastAMap,
                            std::uint64_t freeBytes) {
    std::array<std::uint8_t, kHeaderSize> h{};
    std::memcpy(h.data(), "!BDN", 4);
    store16(h.data() + 8, deflate_ ? 0x4F53 : 0x4D53);  // "SO" offline, "SM" personal folders
    store16(h.data() + kVersionPos, deflate_ ? kUnicode4kVersion : kUnicodeVersion);
    store16(h.data() + 12, kClientVersion);
    h[14] = 0x01;
    h[15] = 0x01;
    store64(h.data() + 32, bidCounter_);  // bidNextP
    store32(h.data() + 40, static_cast<std::uint32_t>(nodes_.size() + deletedNodes_.size()));
    for (std::size_t t = 0; t < 32; ++t)
        store32(h.data() + 44 + t * 4, std::max(nextNidIndex_[t], nidIndexFloor(t)));
    // ROOT
    store64(h.data() + L_.fileEofPos, fileEof);
    store64(h.data() + 192, lastAMap);
    store64(h.data() + 200, freeBytes);
    store64(h.data() + 208, 0);  // cbPMapFree
    const PageLayout& L = L_;
    store64(h.data() + L.nbtRootPos - 8, nodeRoot.bid);
    store64(h.data() + L.nbtRootPos, nodeRoot.offset);
    store64(h.data() + L.bbtRootPos - 8, blockRoot.bid);
    store64(h.data() + L.bbtRootPos, blockRoot.offset);
    h[248] = kAMapValid;
    std::memset(h.data() + 256, 0xFF, 256);  // rgbFM and rgbFP, no longer used
    h[512] = 0x80;                           // bSentinel
    h[L.cryptMethodPos] = cyclic_ ? 2 : permute_ ? 1 : 0;
    store64(h.data() + 516, bidCounter_);  // bidNextB
    store32(h.data() + 4, crc32(h.data() + 8, 471));
    store32(h.data() + 524, crc32(h.data() + 8, 516));
    sink_.write(0, h);
}

bool NdbWriter::finish() {
    if (!ok()) return false;
    auto byBid = [](const BlockRecord& a, const BlockRecord& b) { return a.bid < b.bid; };
    auto byNid = [](const NodeRecord& a, const NodeRecord& b) { return a.nid < b.nid; };
    std::sort(blocks_.begin(), blocks_.end(), byBid);
    std::sort(deletedBlocks_.begin(), deletedBlocks_.end(), byBid);
    std::sort(nodes_.begin(), nodes_.end(), byNid);
    std::sort(deletedNodes_.begin(), deletedNodes_.end(), byNid);
    summary_.liveNodes = nodes_.size();
    summary_.liveBlocks = blocks_.size();
    summary_.deletedNodes = deletedNodes_.size();

    // Stale pages are older copies, with lower page ids than the live index, as in the files
    // Outlook writes: a reader that lost the header takes the newest root for the live one. (Only
    // with 4 KiB pages, whose index fits one page; the Unicode layout's bytes stay as they were.)
    if (deflate_) {
        writeLeafPages(true, Visibility::Deleted);
        writeLeafPages(false, Visibility::Deleted);
    }
    const PageRef nodeRoot = writeIndexLevels(kNodeBTree, writeLeafPages(true, Visibility::Live));
    const PageRef blockRoot =
        writeIndexLevels(kBlockBTree, writeLeafPages(false, Visibility::Live));
    if (!deflate_) {
        writeLeafPages(true, Visibility::Deleted);
        writeLeafPages(false, Visibility::Deleted);
    }

    const std::uint64_t sections =
        (cursor_ - firstAMap() + sectionCoverage() - 1) / sectionCoverage();
    ensureSection(sections - 1);
    std::uint64_t freeUnits = 0;
    for (std::size_t i = 0; i < sections * sectionMapBytes(); ++i)
        freeUnits += 8 - static_cast<unsigned>(__builtin_popcount(allocationBits_[i]));
    const std::uint64_t fileEof = firstAMap() + sections * sectionCoverage();
    summary_.fileSize = fileEof;
    summary_.nodeRootOffset = nodeRoot.offset;
    summary_.blockRootOffset = blockRoot.offset;
    summary_.freeBytes = freeUnits * mapUnit();

    writeMapPages(sections);
    writeDList();
    writeHeader(nodeRoot, blockRoot, fileEof, firstAMap() + (sections - 1) * sectionCoverage(),
                summary_.freeBytes);
    return sink_.finish(fileEof);
}

}  // namespace brevik::pst
