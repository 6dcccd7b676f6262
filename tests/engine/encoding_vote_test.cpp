#include "engine/encoding_vote.h"

#include <gtest/gtest.h>

#include "engine/permute.h"

namespace brevik {
namespace {

void feed(EncodingVote& vote, int n, std::uint8_t a, std::uint8_t b) {
    for (int i = 0; i < n && vote.sampling(); ++i) {
        vote.addSample(a, b);
        vote.afterEntry();
    }
}

TEST(EncodingVote, PermutedSamplesDecideEarlyWhenTheHeaderAgrees) {
    EncodingVote vote(CryptMethod::Permute);
    feed(vote, 131, 0xFF, 0x93);
    EXPECT_TRUE(vote.sampling());
    feed(vote, 1, 0xFF, 0x93);
    EXPECT_FALSE(vote.sampling());
    EXPECT_EQ(vote.state(), encoding::kPermuteEarly);
    feed(vote, 10, 0xEC, 0xBC);  // no further samples are taken
    EXPECT_EQ(vote.sampled(), 132u);
    MessageBase base;
    EXPECT_EQ(vote.finish(base), encoding::kPermuteEarly);
}

TEST(EncodingVote, PlainSamplesDecideEarlyOnlyWithAPlainHeader) {
    EncodingVote plainHeader(CryptMethod::None);
    feed(plainHeader, 200, 0xEC, 0xBC);
    EXPECT_EQ(plainHeader.state(), encoding::kPlainEarly);

    EncodingVote permuteHeader(CryptMethod::Permute);
    feed(permuteHeader, 200, 0xEC, 0xBC);
    EXPECT_TRUE(permuteHeader.sampling());
    MessageBase base;
    EXPECT_EQ(permuteHeader.finish(base), encoding::kPlainMajority);
}

TEST(EncodingVote, CyclicSamplesAreKnownByTheirBlockIds) {
    // The heap and client signatures as the cyclic encoding stores them in block `id`.
    auto feedCyclic = [](EncodingVote& vote, int n) {
        for (std::uint64_t id = 4; id < 4 + 4u * n && vote.sampling(); id += 4) {
            std::uint8_t sig[2] = {0xEC, 0xBC};
            cryptCyclic(sig, 2, static_cast<std::uint32_t>(id), 2);
            vote.addSample(sig[0], sig[1], id);
            vote.afterEntry();
        }
    };
    EncodingVote early(CryptMethod::Cyclic);
    feedCyclic(early, 200);
    EXPECT_EQ(early.state(), encoding::kCyclicEarly);
    EXPECT_EQ(early.sampled(), 132u);

    MessageBase base;
    for (CryptMethod header :
         {CryptMethod::None, CryptMethod::Permute, CryptMethod::Unrecognised}) {
        EncodingVote vote(header);
        feedCyclic(vote, 200);
        feed(vote, 3, 0xEC, 0xBC);  // a few plain blocks do not outvote them
        EXPECT_EQ(vote.finish(base), encoding::kCyclicMajority);
        EXPECT_EQ(vote.cyclic(), 200u);
    }
    EXPECT_EQ(base.errorCode, 0u);
}

TEST(EncodingVote, FinalDecisionByMajority) {
    MessageBase base;
    EncodingVote noPlain(CryptMethod::Unrecognised);
    feed(noPlain, 3, 0xFF, 0x93);
    feed(noPlain, 5, 1, 2);
    EXPECT_EQ(noPlain.finish(base), encoding::kPermuteNoPlain);

    EncodingVote morePermuted(CryptMethod::Unrecognised);
    feed(morePermuted, 3, 0xFF, 0x93);
    feed(morePermuted, 2, 0xEC, 0xBC);
    EXPECT_EQ(morePermuted.finish(base), encoding::kPermuteMajority);

    EncodingVote morePlain(CryptMethod::Unrecognised);
    feed(morePlain, 2, 0xFF, 0x93);
    feed(morePlain, 3, 0xEC, 0xBC);
    EXPECT_EQ(morePlain.finish(base), encoding::kPlainMajority);
    EXPECT_EQ(base.errorCode, 0u);
}

TEST(EncodingVote, NoRecognisableSampleFailsWithNoReadableBlocks) {
    for (int n : {0, 500}) {
        MessageBase base;
        EncodingVote vote(CryptMethod::Cyclic);
        feed(vote, n, 0x12, 0x34);
        EXPECT_EQ(vote.finish(base), std::nullopt);
        EXPECT_EQ(base.errorCode, ERROR_NO_READABLE_BLOCKS);
    }
}

TEST(EncodingVote, ReadersDecodeOnlyPermutedStates) {
    MessageBase base;
    for (std::int32_t s :
         {encoding::kPermuteEarly, encoding::kPermuteNoPlain, encoding::kPermuteMajority}) {
        base.encodingState = s;
        EXPECT_TRUE(base.decodesBlocks());
    }
    for (std::int32_t s : {encoding::kPlainEarly, encoding::kPlainMajority, encoding::kUndecided}) {
        base.encodingState = s;
        EXPECT_FALSE(base.decodesBlocks());
    }
}

}  // namespace
}  // namespace brevik
