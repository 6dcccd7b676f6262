#include "engine/encoding_vote.h"

#include "engine/ltp_format.h"
#include "engine/permute.h"

namespace brevik {

EncodingVote::EncodingVote(CryptMethod header) : header_(header) {
    // With an unrecognised header no early decision is made.
    threshold_ = header == CryptMethod::Unrecognised ? 1564512643u : 131u;
}

void EncodingVote::addSample(std::uint8_t sig, std::uint8_t clientSig,
                             std::optional<std::uint64_t> blockId) {
    if (!sampling_) return;
    ++sampled_;
    std::uint8_t cyclic[2] = {sig, clientSig};
    if (blockId) cryptCyclic(cyclic, 2, static_cast<std::uint32_t>(*blockId), 2);
    if (sig == ltp::kHeapSignature && clientSig == ltp::kClientPropertyContext)
        ++plain_;
    else if (sig == 0xFF && clientSig == 0x93)  // the same two bytes, permuted
        ++permuted_;
    else if (blockId && cyclic[0] == ltp::kHeapSignature &&
             cyclic[1] == ltp::kClientPropertyContext)
        ++cyclic_;
    else
        ++other_;
}

bool EncodingVote::sampleBlock(MessageBase& base, std::uint64_t fileOffset, std::uint64_t blockId) {
    if (!sampling_) return false;
    std::uint8_t b[2];
    if (!base.readAt(fileOffset + 2, b)) return false;
    addSample(b[0], b[1], blockId);
    return true;
}

void EncodingVote::afterEntry() {
    if (!sampling_ || sampled_ <= threshold_) return;
    if (other_ == sampled_) {
        threshold_ += 14589;
    } else if (plain_ == 0 && cyclic_ == 0 && std::uint64_t{other_} * 8 < permuted_) {
        if (header_ == CryptMethod::Permute) {
            state_ = encoding::kPermuteEarly;
            sampling_ = false;
        } else {
            threshold_ += 37265432;
        }
    } else if (permuted_ == 0 && cyclic_ == 0 && std::uint64_t{other_} * 8 < plain_) {
        if (header_ == CryptMethod::None) {
            state_ = encoding::kPlainEarly;
            sampling_ = false;
        } else {
            threshold_ = 37265787;
        }
    } else if (plain_ == 0 && permuted_ == 0 && std::uint64_t{other_} * 8 < cyclic_) {
        if (header_ == CryptMethod::Cyclic) {
            state_ = encoding::kCyclicEarly;
            sampling_ = false;
        } else {
            threshold_ += 37265432;
        }
    } else {
        threshold_ = 1726532439;
    }
}

std::optional<std::int32_t> EncodingVote::finish(MessageBase& base) {
    if (sampling_) {
        if (sampled_ == other_) {
            base.errorCode = ERROR_NO_READABLE_BLOCKS;
            return std::nullopt;
        }
        if (cyclic_ > plain_ && cyclic_ > permuted_)
            state_ = encoding::kCyclicMajority;
        else if (plain_ == 0)
            state_ = encoding::kPermuteNoPlain;
        else if (permuted_ == 0 || permuted_ < plain_)
            state_ = encoding::kPlainMajority;
        else
            state_ = encoding::kPermuteMajority;
        sampling_ = false;
    }
    return state_;
}

}  // namespace brevik
