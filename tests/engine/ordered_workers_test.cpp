#include "engine/ordered_workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace brevik {
namespace {

// Every position comes out once and in order, whatever the workers, runs, byte budget and
// making times; no more results are made ahead than the limits allow.
TEST(OrderedWorkers, HandsOverEveryPositionInOrderWithinItsLimits) {
    for (const unsigned workers : {0u, 1u, 3u})
        for (const std::uint64_t count : {0ull, 1ull, 2ull, 97ull})
            for (const OrderedLimits limits :
                 {OrderedLimits{.ahead = 2}, OrderedLimits{.ahead = 9, .run = 4},
                  OrderedLimits{.ahead = 50, .run = 16, .bytes = 3}}) {
                std::atomic<std::uint64_t> made{0};
                std::atomic<int> runs{0};
                std::uint64_t mostAhead = 0;
                OrderedWorkers<std::uint64_t> w(
                    count, workers, limits,
                    [&](std::uint64_t p, const std::stop_token&) {
                        if (p % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
                        ++made;
                        return p * 3;
                    },
                    [](const std::uint64_t&) { return std::uint64_t{1}; },
                    [&](std::uint64_t, std::size_t n, const std::function<void()>& makeAll) {
                        EXPECT_LE(n, limits.run);
                        ++runs;
                        makeAll();
                    });
                for (std::uint64_t p = 0; p < count; ++p) {
                    ASSERT_EQ(w.next(), p * 3) << workers << " workers, " << count;
                    mostAhead = std::max(mostAhead, made.load() - (p + 1));
                }
                EXPECT_EQ(made.load(), count);
                if (w.workers() == 0) continue;
                EXPECT_LT(mostAhead, limits.ahead);
                // Bytes are counted as runs are handed over: each worker may hold a run beyond
                // them.
                if (limits.bytes == 3) {
                    EXPECT_LE(mostAhead, w.workers() * limits.run + limits.bytes);
                }
            }
}

// A failure reaches the consumer at its own position; one that waits can give up, and the
// workers then end at once.
TEST(OrderedWorkers, FailuresArriveInOrderAndAConsumerCanStopWaiting) {
    OrderedWorkers<int> failing(10, 2, {.ahead = 4}, [](std::uint64_t p, const std::stop_token&) {
        if (p == 5) throw std::runtime_error("damaged");
        return static_cast<int>(p);
    });
    for (int p = 0; p < 5; ++p)
        EXPECT_EQ(failing.next(), p);
    EXPECT_THROW(failing.next(), std::runtime_error);
    EXPECT_EQ(failing.next(), 6);

    std::atomic<bool> release{false};
    std::atomic<int> polls{0};
    {
        OrderedWorkers<int> slow(100, 2, {.ahead = 4},
                                 [&](std::uint64_t, const std::stop_token& ending) {
                                     while (!release && !ending.stop_requested())
                                         std::this_thread::yield();
                                     return 1;
                                 });
        EXPECT_EQ(slow.next(std::chrono::milliseconds(1), [&] { return ++polls < 3; }), nullptr);
    }  // ends the workers through their stop token, or the test hangs
    EXPECT_EQ(polls.load(), 3);
}

}  // namespace
}  // namespace brevik
