// Decides how node data is encoded (plain, permuted or cyclic) by sampling the first bytes of real
// data blocks.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/message_base.h"

namespace brevik {

class EncodingVote {
  public:
    explicit EncodingVote(CryptMethod header);

    bool sampling() const { return sampling_; }
    // Examines the two bytes at block offsets 2 and 3 (heap signature and client signature);
    // with the block's id they are also tried as cyclic-encoded.
    void addSample(std::uint8_t sig, std::uint8_t clientSig,
                   std::optional<std::uint64_t> blockId = std::nullopt);
    // Reads and adds a sample for the data block at `fileOffset` while sampling; false when the
    // bytes could not be read.
    bool sampleBlock(MessageBase& base, std::uint64_t fileOffset, std::uint64_t blockId);
    // The early-decision step, run after every node entry.
    void afterEntry();
    // The final decision: the encoding state, or nothing (and ERROR_NO_READABLE_BLOCKS in the
    // base) when no sample was recognisable.
    std::optional<std::int32_t> finish(MessageBase& base);

    std::int32_t state() const { return state_; }
    std::uint32_t sampled() const { return sampled_; }
    std::uint32_t plain() const { return plain_; }
    std::uint32_t permuted() const { return permuted_; }
    std::uint32_t cyclic() const { return cyclic_; }
    std::uint32_t other() const { return other_; }

  private:
    CryptMethod header_;
    bool sampling_ = true;
    std::uint32_t sampled_ = 0, plain_ = 0, permuted_ = 0, cyclic_ = 0, other_ = 0;
    std::uint64_t threshold_;
    std::int32_t state_ = encoding::kUndecided;
};

}  // namespace brevik
