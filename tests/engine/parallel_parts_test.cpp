#include "engine/parallel_parts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <stdexcept>

namespace brevik {
namespace {

// Chunks are consumed in order, each once, on any number of threads and however long each
// takes to produce; no more than `ahead` wait.
TEST(InOrderedChunks, ConsumesEveryChunkInOrderOnAnyNumberOfThreads) {
    for (const unsigned threads : {1u, 2u, 3u, 8u}) {
        for (const std::uint64_t count : {0ull, 1ull, 7ull, 100ull, 1001ull}) {
            std::vector<std::uint64_t> seen;
            std::atomic<std::uint64_t> produced{0};
            std::uint64_t consumed = 0, mostWaiting = 0;
            inOrderedChunks<std::vector<std::uint64_t>>(
                count, 16, threads, 3,
                [&](std::uint64_t a, std::uint64_t b) {
                    // Later chunks often finish first.
                    if (a % 48 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
                    std::vector<std::uint64_t> v(b - a);
                    std::iota(v.begin(), v.end(), a);
                    ++produced;
                    return v;
                },
                [&](std::vector<std::uint64_t> v) {
                    ++consumed;
                    mostWaiting = std::max(mostWaiting, produced.load() - consumed);
                    seen.insert(seen.end(), v.begin(), v.end());
                });
            std::vector<std::uint64_t> expected(count);
            std::iota(expected.begin(), expected.end(), 0);
            EXPECT_EQ(seen, expected) << threads << " threads, " << count << " items";
            EXPECT_LE(mostWaiting, 3u);
        }
    }
}

// A failure while producing reaches the caller once, after the chunks before it were consumed;
// a failing consumer stops the workers from taking further chunks.
TEST(InOrderedChunks, FailuresReachTheCallerInOrder) {
    std::vector<std::uint64_t> firsts;
    EXPECT_THROW(inOrderedChunks<std::uint64_t>(
                     1000, 10, 4, 4,
                     [](std::uint64_t a, std::uint64_t) {
                         if (a == 500) throw std::runtime_error("damaged");
                         return a;
                     },
                     [&](std::uint64_t a) { firsts.push_back(a); }),
                 std::runtime_error);
    ASSERT_EQ(firsts.size(), 50u);
    EXPECT_EQ(firsts.back(), 490u);

    std::atomic<int> produced{0};
    EXPECT_THROW(inOrderedChunks<int>(
                     100000, 1, 2, 4, [&](std::uint64_t, std::uint64_t) { return ++produced; },
                     [](int) { throw std::runtime_error("disk full"); }),
                 std::runtime_error);
    EXPECT_LE(produced.load(), 8);
}

}  // namespace
}  // namespace brevik
