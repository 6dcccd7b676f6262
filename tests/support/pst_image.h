// Builds small personal-folder byte images in memory for engine tests: a header, index pages
// and blocks placed at chosen pages, in the ANSI or the Unicode layout.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bytes.h"
#include "engine/index_entries.h"
#include "recovery/recovered_base.h"

namespace brevik::test {

class PstImage {
  public:
    PstImage(bool unicode, std::size_t pages);

    bool unicode() const { return unicode_; }
    std::size_t pageCount() const { return bytes_.size() / 512; }
    static std::uint64_t pageOffset(std::size_t page) { return page * 512; }

    void setVersion(std::uint16_t version);
    void setCrypt(std::uint8_t method);
    // File offsets of the block and node index roots as the header keeps them.
    void setRoots(std::uint64_t bbtRoot, std::uint64_t nbtRoot);

    void putLeafBlockPage(std::size_t page, const std::vector<BlockEntry>& entries);
    void putLeafNodePage(std::size_t page, const std::vector<NodeEntry>& entries);
    // An intermediate index page (level 1) whose entries point at the given page offsets.
    void putIntermediatePage(std::size_t page, bool nodeIndex,
                             const std::vector<std::uint64_t>& children);
    void putBytes(std::uint64_t offset, ByteView data);
    // Grows the image to hold `pages` pages.
    void resize(std::size_t pages);

    const Bytes& bytes() const { return bytes_; }
    Bytes& bytes() { return bytes_; }

  private:
    void putTrailer(std::uint8_t* page, std::uint8_t type);
    bool unicode_;
    Bytes bytes_;
};

// A base reading the image from memory (identity fields filled for messages).
std::unique_ptr<RecoveredBase> openImage(const Bytes& image, const char* name = "image.pst");

// A subnode block (SLBLOCK, level 0) of the given entries: node id, data block id, subnode id.
struct SubnodeSpec {
    std::uint64_t nodeId;
    std::uint64_t dataBid;
    std::uint64_t subnodeBid;
};
Bytes subnodeLeafBlock(bool unicode, const std::vector<SubnodeSpec>& entries);
// An intermediate subnode block (SIBLOCK, level 1) naming leaf blocks by id.
Bytes subnodeIntermediateBlock(bool unicode, const std::vector<std::uint64_t>& childBids);

}  // namespace brevik::test
