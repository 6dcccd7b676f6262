// Collects the subnodes of one node (large values, tables, attachments) as they are written.
#pragma once

#include <cstdint>
#include <vector>

#include "writers/pst/ndb_writer.h"

namespace brevik::pst {

class SubnodeSink {
  public:
    // `counter` numbers the subnodes; nested sinks of one item share it so that every subnode
    // id of the item is unique, which readers that flatten the tree rely on.
    SubnodeSink(NdbWriter& ndb, Visibility v, std::uint32_t& counter)
        : ndb_(ndb), visibility_(v), counter_(counter) {}

    std::uint32_t newNid(std::uint8_t type) { return (counter_++ << ndb::kNidIndexShift) | type; }
    // Writes `data` as a new subnode cut into `chunk`-byte blocks; returns its id.
    std::uint32_t addStream(ByteView data, std::size_t chunk = ndb::kMaxBlockData) {
        const std::uint32_t nid = newNid(ndb::kNidTypeLtp);
        refs_.push_back({nid, ndb_.writeStream(data, chunk, visibility_), 0});
        return nid;
    }
    void add(const SubnodeRef& ref) { refs_.push_back(ref); }
    // Writes the subnode tree; 0 when there are no subnodes.
    std::uint64_t writeTree() { return ndb_.writeSubnodes(std::move(refs_), visibility_); }

    NdbWriter& ndb() { return ndb_; }
    Visibility visibility() const { return visibility_; }
    std::uint32_t& counter() { return counter_; }

  private:
    NdbWriter& ndb_;
    Visibility visibility_;
    std::uint32_t& counter_;
    std::vector<SubnodeRef> refs_;
};

}  // namespace brevik::pst
