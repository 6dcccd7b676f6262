// Work over a range split into contiguous parts, one per thread, with results kept in range
// order: scans of the whole file or of every block give the same answer on any number of
// threads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
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

}  // namespace brevik
