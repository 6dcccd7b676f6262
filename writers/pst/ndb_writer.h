// The node database layer of a Unicode .pst file, written front to back: data blocks, data
// trees, subnode blocks, then at the end the block and node B-trees, the allocation maps, the
// density list and the header. Only compact index records stay in memory. With 4 KiB pages it
// writes the layout of Outlook 2013's offline files instead, data blocks deflated where that
// saves room (for test fixtures).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "engine/bytes.h"
#include "engine/ndb_format.h"
#include "writers/pst/file_sink.h"

namespace brevik::pst {

// Deleted blocks and nodes are written, but their index entries go only to leaf pages that the
// header's roots do not reach, and their space is marked free, as after a delete in Outlook.
enum class Visibility : std::uint8_t { Live, Deleted };

// One entry of a node's subnode tree ([MS-PST] SLENTRY).
struct SubnodeRef {
    std::uint32_t nid = 0;
    std::uint64_t dataBid = 0;
    std::uint64_t subnodeBid = 0;
};

// Where the B-tree roots ended up, for tests and reports.
struct NdbSummary {
    std::uint64_t fileSize = 0;
    std::uint64_t nodeRootOffset = 0;
    std::uint64_t blockRootOffset = 0;
    std::uint64_t liveNodes = 0;
    std::uint64_t liveBlocks = 0;
    std::uint64_t deletedNodes = 0;
    std::uint64_t stalePages = 0;
    std::uint64_t freeBytes = 0;
};

class NdbWriter {
  public:
    // `cyclic` encodes data blocks with the cyclic encoding instead (for tests). `pages4k` writes
    // 4 KiB pages and deflated blocks, with no encoding (as such files are found).
    NdbWriter(FileSink& sink, bool permute, bool cyclic = false, bool pages4k = false);

    const ndb::PageLayout& layout() const { return L_; }

    // Node data from blocks already cut (each at most 8176 bytes): one block, or a data tree
    // over them. Returns the block id to put in the node entry, 0 when there are no blocks.
    std::uint64_t writeData(const std::vector<Bytes>& blocks, Visibility v = Visibility::Live);
    // Node data from one stream, cut into blocks of `chunk` bytes.
    std::uint64_t writeStream(ByteView data, std::size_t chunk = ndb::kMaxBlockData,
                              Visibility v = Visibility::Live);
    // The subnode tree of a node; 0 when `entries` is empty. Entries need not be sorted.
    std::uint64_t writeSubnodes(std::vector<SubnodeRef> entries, Visibility v = Visibility::Live);
    void addNode(std::uint32_t nid, std::uint32_t parentNid, std::uint64_t dataBid,
                 std::uint64_t subnodeBid, Visibility v = Visibility::Live);

    // Writes the indexes, maps and header and closes the file.
    bool finish();

    bool ok() const { return error_.ok() && sink_.status().ok(); }
    // The first failure, of the layout or of the file.
    const WriteStatus& status() const { return error_.ok() ? sink_.status() : error_; }
    const NdbSummary& summary() const { return summary_; }
    std::uint64_t bytesUsed() const { return cursor_; }

  private:
    struct BlockRecord {
        std::uint64_t bid;
        std::uint64_t offset;
        std::uint16_t size;          // stored
        std::uint16_t inflatedSize;  // the data's; the same unless deflated
    };
    struct NodeRecord {
        std::uint32_t nid;
        std::uint32_t parent;
        std::uint64_t dataBid;
        std::uint64_t subnodeBid;
    };
    struct PageRef {
        std::uint64_t key;
        std::uint64_t bid;
        std::uint64_t offset;
    };

    std::uint64_t nextBid(bool internal);
    std::uint64_t allocate(std::uint64_t size, std::uint64_t align);
    void ensureSection(std::uint64_t section);
    std::uint64_t reservedBytes(std::uint64_t section) const;
    void fail(std::string text);
    void markAllocated(std::uint64_t offset, std::uint64_t size);
    std::uint64_t writeBlock(ByteView payload, bool internal, Visibility v);
    std::uint64_t writeTree(const std::vector<std::uint64_t>& bids, std::uint64_t totalBytes,
                            Visibility v);
    PageRef writePage(std::uint8_t type, Bytes& page, Visibility v);
    void putEntryCounts(Bytes& page, std::size_t count, std::size_t max, std::size_t entrySize,
                        std::uint8_t level) const;
    std::uint64_t firstAMap() const;
    std::uint64_t sectionCoverage() const;
    std::uint64_t sectionMapBytes() const;
    std::uint64_t mapUnit() const;
    std::vector<PageRef> writeLeafPages(bool nodes, Visibility v);
    PageRef writeIndexLevels(std::uint8_t type, std::vector<PageRef> level);
    void writeMapPages(std::uint64_t sections);
    void writeDList();
    void writeHeader(const PageRef& nodeRoot, const PageRef& blockRoot, std::uint64_t fileEof,
                     std::uint64_t lastAMap, std::uint64_t freeBytes);

    FileSink& sink_;
    ndb::PageLayout L_;
    bool permute_;
    bool cyclic_;
    bool deflate_;
    std::uint64_t bidCounter_ = 4;
    std::uint64_t cursor_ = 0;
    std::uint64_t sections_ = 0;
    Bytes allocationBits_;  // per section its map's bytes, one bit per 64 (4 KiB pages: 512) bytes
    Bytes deflated_;        // scratch for a deflated block
    std::deque<BlockRecord> blocks_, deletedBlocks_;  // no doubling copies as they grow
    std::deque<NodeRecord> nodes_, deletedNodes_;
    std::array<std::uint32_t, 32> nextNidIndex_{};
    Bytes scratch_;
    NdbSummary summary_;
    WriteStatus error_;
};

}  // namespace brevik::pst
