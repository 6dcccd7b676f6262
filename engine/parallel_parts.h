// Work over a range split into contiguous parts, one per thread, with results kept in range
// order: scans of the whole file or of every block give the same answer on any number of
// threads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

#include "engine/ordered_workers.h"

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
    const std::uint64_t chunks = (count + perChunk - 1) / perChunk;
    auto chunkEnd = [&](std::uint64_t c) { return std::min(count, (c + 1) * perChunk); };
    const unsigned workers = static_cast<unsigned>(std::min<std::uint64_t>({threads, chunks, 64}));
    if (workers <= 1) {
        for (std::uint64_t c = 0; c < chunks; ++c)
            consume(produce(c * perChunk, chunkEnd(c)));
        return;
    }
    OrderedWorkers<Result> made(
        chunks, workers, {.ahead = static_cast<std::size_t>(std::max<std::uint64_t>(ahead, 1))},
        [&](std::uint64_t c, const std::stop_token&) {
            return produce(c * perChunk, chunkEnd(c));
        });
    for (std::uint64_t c = 0; c < chunks; ++c)
        consume(std::move(made.next()));
}

}  // namespace brevik
