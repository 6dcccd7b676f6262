// Builds whole personal-folder images for recovery tests: folder and item nodes with property
// contexts, on live index pages the header reaches and on stale pages it does not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/node_builder.h"

namespace brevik::test {

class StoreImage {
  public:
    explicit StoreImage(bool unicode = true, bool permute = true);

    // A folder's property context; returns the data block id.
    std::uint64_t folderData(const std::string& name,
                             const std::string& containerClass = "IPF.Note");
    // An item's property context (subject, class, sender, delivery time); returns the block id.
    std::uint64_t itemData(const std::string& subject, const std::string& messageClass = "IPM.Note",
                           const std::string& sender = "Sender", std::uint64_t deliveryTime = 0);

    // A node entry. Live entries go on pages the header's root reaches, stale ones on pages it
    // does not.
    void node(std::uint32_t nodeId, std::uint64_t dataBid, std::uint32_t parent, bool live = true,
              std::uint64_t subnodeBid = 0);

    // The whole image: header, data blocks, leaf block pages, live node pages under one
    // intermediate root page, then stale node pages.
    Bytes build() const;

    ImageBuilder& blocks() { return blocks_; }
    // Places the stale node pages before the live ones in the file.
    void stalePagesFirst() { staleFirst_ = true; }

  private:
    ImageBuilder blocks_;
    std::vector<NodeEntry> live_, stale_;
    bool staleFirst_ = false;
};

}  // namespace brevik::test
