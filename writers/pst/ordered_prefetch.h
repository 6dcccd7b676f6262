// Prepares the items of a save on worker threads ahead of the writer, which takes them one by
// one in its own order: reading a source item (decoding, decompressing, walking its subnodes)
// and turning it into output costs about as much as writing it, and the two then overlap.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "engine/ordered_workers.h"

namespace brevik::pst {

template <typename T>
class OrderedPrefetch {
  public:
    // What `prepare` makes of an item index, and how many bytes of memory that holds.
    using Prepare = std::function<T(std::uint32_t)>;
    using Size = std::function<std::uint64_t(const T&)>;
    // Called on a worker around the preparation of a run of items, which it must start once by
    // calling `prepareAll`: what the items have in common (reads of the source, say) can then be
    // done in one go.
    using Around = std::function<void(std::span<const std::uint32_t> items,
                                      const std::function<void()>& prepareAll)>;

    // `order`: the item indexes the writer will ask for, in that order. `threads`: threads the
    // save may use, the writer's own included (0: one per core); with one, items are prepared
    // on the writer's thread when asked for. `prepare` must be safe to call from several
    // threads at once.
    OrderedPrefetch(std::vector<std::uint32_t> order, unsigned threads, Prepare prepare, Size size,
                    Around around = nullptr)
        : order_(std::move(order)),
          prepare_(std::move(prepare)),
          workers_(
              order_.size(), workerCount(threads), limits(workerCount(threads)),
              [this](std::uint64_t k, const std::stop_token&) { return prepare_(order_[k]); },
              std::move(size), aroundPositions(std::move(around))) {}

    // The item at the next position of the order, which should be `itemIndex` (any other is
    // prepared here and then, leaving the order where it was). Valid until the next call.
    T& next(std::uint32_t itemIndex) {
        if (workers_.taken() < order_.size() && order_[workers_.taken()] == itemIndex)
            return workers_.next();
        here_ = prepare_(itemIndex);
        return here_;
    }

  private:
    // Prepared items stay within this many bytes (besides the one the writer waits for), so
    // that a run of large attachments does not pile up in memory.
    static constexpr std::uint64_t kBufferedBytesLimit = 128ull << 20;
    static constexpr std::size_t kPositionsPerWorker = 64;
    // A worker takes up to this many positions at a time, and hands them over together: one
    // wake-up of the writer, not one per item.
    static constexpr std::size_t kRun = 16;

    static unsigned workerCount(unsigned threads) {
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        return threads - 1;
    }
    static OrderedLimits limits(unsigned workers) {
        return {
            .ahead = kPositionsPerWorker * workers + 1, .run = kRun, .bytes = kBufferedBytesLimit};
    }
    typename OrderedWorkers<T>::Around aroundPositions(Around around) const {
        if (!around) return nullptr;
        return [this, around = std::move(around)](std::uint64_t first, std::size_t count,
                                                  const std::function<void()>& makeAll) {
            around(std::span<const std::uint32_t>(order_.data() + first, count), makeAll);
        };
    }

    const std::vector<std::uint32_t> order_;
    const Prepare prepare_;
    T here_{};  // an item asked for out of order
    OrderedWorkers<T> workers_;
};

}  // namespace brevik::pst
