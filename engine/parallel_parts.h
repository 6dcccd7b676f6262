// Work over a range split into contiguous parts, one per thread, with results kept in range
// order: scans of the whole file or of every block give the same answer on any number of
// threads.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace brevik {

// Runs `work(first, end)` over [0, count) in contiguous parts of at least `minPerPart`, on up to
// `threads` threads (0: one per core), the caller's among them. Returns the parts' results in
// order; the first part's failure, in order, is raised once all have ended.
template <typename Result, typename Work>
std::vector<Result> inParts(std::uint64_t count, unsigned threads, std::uint64_t minPerPart,
                            const Work& work) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    const auto parts = static_cast<unsigned>(std::clamp<std::uint64_t>(
        std::min<std::uint64_t>(threads, count / std::max<std::uint64_t>(minPerPart, 1)), 1, 64));
    std::vector<Result> results(parts);
    std::vector<std::exception_ptr> errors(parts);
    auto run = [&](unsigned k) {
        try {
            results[k] = work(count * k / parts, count * (k + 1) / parts);
        } catch (...) {
            errors[k] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> pool;
        for (unsigned k = 1; k < parts; ++k)
            pool.emplace_back(run, k);
        run(0);
    }
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
    return results;
}

// Runs `produce(first, end)` over [0, count) in chunks of `perChunk` on up to `threads` worker
// threads (0: one per core), and `consume(result)` on the caller's thread in chunk order, each
// as soon as it and the chunks before it are produced: the consumer works while the next chunks
// are made. At most `ahead` chunks wait to be consumed, which bounds the memory they hold. The
// first failure, in chunk order, is raised once the workers have ended; a consumer's failure
// ends the workers too.
template <typename Result, typename Produce, typename Consume>
void inOrderedChunks(std::uint64_t count, std::uint64_t perChunk, unsigned threads,
                     std::uint64_t ahead, const Produce& produce, const Consume& consume) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    perChunk = std::max<std::uint64_t>(perChunk, 1);
    ahead = std::max<std::uint64_t>(ahead, 1);
    const std::uint64_t chunks = (count + perChunk - 1) / perChunk;
    auto chunkEnd = [&](std::uint64_t c) { return std::min(count, (c + 1) * perChunk); };
    const unsigned workers = static_cast<unsigned>(std::min<std::uint64_t>({threads, chunks, 64}));
    if (workers <= 1) {
        for (std::uint64_t c = 0; c < chunks; ++c)
            consume(produce(c * perChunk, chunkEnd(c)));
        return;
    }

    struct Slot {
        std::optional<Result> result;
        std::exception_ptr failure;
    };
    std::vector<Slot> ring(static_cast<std::size_t>(ahead));
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t next = 0, consumed = 0;
    bool quit = false;
    auto work = [&] {
        for (;;) {
            std::uint64_t c;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock,
                             [&] { return quit || next >= chunks || next < consumed + ahead; });
                if (quit || next >= chunks) return;
                c = next++;
            }
            Slot made;
            try {
                made.result.emplace(produce(c * perChunk, chunkEnd(c)));
            } catch (...) {
                made.failure = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                ring[c % ahead] = std::move(made);
            }
            changed.notify_all();
        }
    };
    std::exception_ptr failure;
    {
        std::vector<std::jthread> pool;
        for (unsigned k = 0; k < workers; ++k) {
            try {
                pool.emplace_back(work);
            } catch (const std::system_error&) {
                break;
            }
        }
        auto stop = [&] {
            {
                std::lock_guard lock(mutex);
                quit = true;
            }
            changed.notify_all();
        };
        try {
            for (std::uint64_t c = 0; c < chunks; ++c) {
                Slot taken;
                if (pool.empty()) {
                    taken.result.emplace(produce(c * perChunk, chunkEnd(c)));
                } else {
                    std::unique_lock lock(mutex);
                    Slot& slot = ring[c % ahead];
                    changed.wait(lock, [&] { return slot.result || slot.failure; });
                    taken = std::move(slot);
                    slot = Slot{};
                }
                if (taken.failure) std::rethrow_exception(taken.failure);
                consume(std::move(*taken.result));
                {
                    std::lock_guard lock(mutex);
                    consumed = c + 1;
                }
                changed.notify_all();
            }
        } catch (...) {
            failure = std::current_exception();
            stop();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace brevik
