// Prepares the items of a save on worker threads ahead of the writer, which takes them one by
// one in its own order: reading a source item (decoding, decompressing, walking its subnodes)
// and turning it into output costs about as much as writing it, and the two then overlap.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace brevik::pst {

template <typename T>
class OrderedPrefetch {
  public:
    // What `prepare` makes of an item index, and how many bytes of memory that holds.
    using Prepare = std::function<T(std::uint32_t)>;
    using Size = std::function<std::uint64_t(const T&)>;

    // `order`: the item indexes the writer will ask for, in that order. `threads`: threads the
    // save may use, the writer's own included (0: one per core); with one, items are prepared
    // on the writer's thread when asked for. `prepare` must be safe to call from several
    // threads at once.
    OrderedPrefetch(std::vector<std::uint32_t> order, unsigned threads, Prepare prepare, Size size)
        : order_(std::move(order)), prepare_(std::move(prepare)), size_(std::move(size)) {
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        const unsigned workers = threads - 1;
        if (workers == 0 || order_.size() < 2) return;
        ring_.resize(std::min<std::size_t>(order_.size(), kPositionsPerWorker * workers));
        for (unsigned k = 0; k < workers; ++k)
            workers_.emplace_back([this] { work(); });
    }

    // Stops the workers; an item being prepared is finished first.
    ~OrderedPrefetch() {
        {
            const std::scoped_lock guard(lock_);
            ending_ = true;
        }
        freed_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }
    OrderedPrefetch(const OrderedPrefetch&) = delete;
    OrderedPrefetch& operator=(const OrderedPrefetch&) = delete;

    // The item at the next position of the order, which should be `itemIndex`; any other is
    // prepared here and then, leaving the order where it was.
    T next(std::uint32_t itemIndex) {
        std::unique_lock guard(lock_);
        if (workers_.empty() || taken_ >= order_.size() || order_[taken_] != itemIndex) {
            guard.unlock();
            return prepare_(itemIndex);
        }
        Slot& slot = ring_[taken_ % ring_.size()];
        filled_.wait(guard, [&] { return slot.filled; });
        T value = std::move(slot.value);
        const std::exception_ptr error = slot.error;
        slot.error = nullptr;
        slot.filled = false;
        bufferedBytes_ -= slot.bytes;
        ++taken_;
        guard.unlock();
        freed_.notify_all();
        if (error) std::rethrow_exception(error);  // as if prepared here
        return value;
    }

  private:
    // Prepared items stay within this many bytes (besides the one the writer waits for), so
    // that a run of large attachments does not pile up in memory.
    static constexpr std::uint64_t kBufferedBytesLimit = 128ull << 20;
    static constexpr std::size_t kPositionsPerWorker = 4;

    struct Slot {
        bool filled = false;
        T value{};
        std::exception_ptr error;
        std::uint64_t bytes = 0;
    };

    void work() {
        std::unique_lock guard(lock_);
        for (;;) {
            freed_.wait(guard, [&] {
                return ending_ || claimed_ >= order_.size() ||
                       (claimed_ < taken_ + ring_.size() &&
                        (bufferedBytes_ < kBufferedBytesLimit || claimed_ == taken_));
            });
            if (ending_ || claimed_ >= order_.size()) return;
            const std::size_t position = claimed_++;
            guard.unlock();
            T value{};
            std::exception_ptr error;
            std::uint64_t bytes = 0;
            try {
                value = prepare_(order_[position]);
                bytes = size_(value);
            } catch (...) {
                error = std::current_exception();
            }
            guard.lock();
            Slot& slot = ring_[position % ring_.size()];
            slot.value = std::move(value);
            slot.error = error;
            slot.bytes = bytes;
            slot.filled = true;
            bufferedBytes_ += bytes;
            filled_.notify_all();
        }
    }

    const std::vector<std::uint32_t> order_;
    const Prepare prepare_;
    const Size size_;
    std::vector<Slot> ring_;  // position k lives in ring_[k % ring_.size()]

    std::mutex lock_;
    std::condition_variable filled_;  // a slot was filled
    std::condition_variable freed_;   // the writer took a slot, or the prefetch is ending
    std::size_t claimed_ = 0;         // positions handed to workers so far
    std::size_t taken_ = 0;           // positions the writer took
    std::uint64_t bufferedBytes_ = 0;
    bool ending_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace brevik::pst
