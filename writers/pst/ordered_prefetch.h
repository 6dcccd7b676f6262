// Prepares the items of a save on worker threads ahead of the writer, which takes them one by
// one in its own order: reading a source item (decoding, decompressing, walking its subnodes)
// and turning it into output costs about as much as writing it, and the two then overlap.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

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
          size_(std::move(size)),
          around_(std::move(around)) {
        if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
        const unsigned workers = threads - 1;
        if (workers == 0 || order_.size() < 2) return;
        ring_.resize(std::min<std::size_t>(order_.size() + 1, kPositionsPerWorker * workers + 1));
        for (unsigned k = 0; k < workers; ++k)
            workers_.emplace_back([this] { work(); });
    }

    // Stops the workers; an item being prepared is finished first.
    ~OrderedPrefetch() {
        {
            const std::scoped_lock guard(lock_);
            ending_ = true;
        }
        stopping_.store(true, std::memory_order_relaxed);
        freed_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }
    OrderedPrefetch(const OrderedPrefetch&) = delete;
    OrderedPrefetch& operator=(const OrderedPrefetch&) = delete;

    // The item at the next position of the order, which should be `itemIndex` (any other is
    // prepared here and then, leaving the order where it was). Valid until the next call.
    T& next(std::uint32_t itemIndex) {
        std::unique_lock guard(lock_);
        if (workers_.empty() || taken_ >= order_.size() || order_[taken_] != itemIndex) {
            guard.unlock();
            here_ = prepare_(itemIndex);
            return here_;
        }
        Slot& slot = ring_[taken_ % ring_.size()];
        if (!slot.filled) {
            writerWaiting_ = true;
            filled_.wait(guard, [&] { return slot.filled; });
            writerWaiting_ = false;
        }
        // The slot taken before is spent now; a worker frees its value when it reuses the slot,
        // so memory goes back on the thread that allocated it.
        slot.filled = false;
        bufferedBytes_ -= slot.bytes;
        ++taken_;
        // Workers sleep while the ring is full and wake when half of it is free again, rather
        // than once per item.
        const bool wake = idleWorkers_ > 0 && claimed_ - taken_ <= ring_.size() / 2;
        const std::exception_ptr error = std::exchange(slot.error, nullptr);
        guard.unlock();
        if (wake) freed_.notify_all();
        if (error) std::rethrow_exception(error);  // as if prepared here
        return slot.value;
    }

  private:
    // Prepared items stay within this many bytes (besides the one the writer waits for), so
    // that a run of large attachments does not pile up in memory.
    static constexpr std::uint64_t kBufferedBytesLimit = 128ull << 20;
    static constexpr std::size_t kPositionsPerWorker = 64;
    // A worker takes up to this many positions at a time, and hands them over together: one
    // wake-up of the writer, not one per item.
    static constexpr std::size_t kRun = 16;

    struct Slot {
        bool filled = false;
        T value{};
        std::exception_ptr error;
        std::uint64_t bytes = 0;
    };

    // A position may be prepared when its slot's earlier item is spent: taken, and not the
    // one the writer holds.
    bool mayClaim() const {
        return claimed_ + 1 < taken_ + ring_.size() &&
               (bufferedBytes_ < kBufferedBytesLimit || claimed_ == taken_);
    }

    void work() {
        std::vector<T> values;
        std::vector<std::exception_ptr> errors;
        std::vector<std::uint64_t> sizes;
        std::vector<T> spent;
        std::unique_lock guard(lock_);
        for (;;) {
            while (!ending_ && claimed_ < order_.size() && !mayClaim()) {
                ++idleWorkers_;
                freed_.wait(guard);
                --idleWorkers_;
            }
            if (ending_ || claimed_ >= order_.size()) return;
            const std::size_t first = claimed_;
            do {
                ++claimed_;
            } while (claimed_ - first < kRun && claimed_ < order_.size() && mayClaim());
            const std::size_t count = claimed_ - first;
            spent.clear();
            for (std::size_t k = first; k < claimed_; ++k)
                spent.push_back(std::move(ring_[k % ring_.size()].value));
            guard.unlock();
            spent.clear();
            values.assign(count, T{});
            errors.assign(count, nullptr);
            sizes.assign(count, 0);
            const std::span<const std::uint32_t> items(order_.data() + first, count);
            bool prepared = false;
            auto prepareAll = [&] {
                prepared = true;
                for (std::size_t k = 0; k < count; ++k) {
                    // Nobody takes the rest of a run once the save ends.
                    if (stopping_.load(std::memory_order_relaxed)) break;
                    try {
                        values[k] = prepare_(items[k]);
                        sizes[k] = size_(values[k]);
                    } catch (...) {
                        errors[k] = std::current_exception();
                    }
                }
            };
            try {
                if (around_)
                    around_(items, prepareAll);
                else
                    prepareAll();
            } catch (...) {
                // The items do not depend on what `around` could not do.
                if (!prepared) prepareAll();
            }
            guard.lock();
            for (std::size_t k = 0; k < count; ++k) {
                Slot& slot = ring_[(first + k) % ring_.size()];
                slot.value = std::move(values[k]);
                slot.error = errors[k];
                slot.bytes = sizes[k];
                slot.filled = true;
                bufferedBytes_ += sizes[k];
            }
            if (writerWaiting_ && taken_ >= first && taken_ < claimed_) filled_.notify_one();
        }
    }

    const std::vector<std::uint32_t> order_;
    const Prepare prepare_;
    const Size size_;
    const Around around_;
    std::vector<Slot> ring_;  // position k lives in ring_[k % ring_.size()]
    T here_{};                // an item prepared on the writer's thread

    std::mutex lock_;
    std::condition_variable filled_;  // the slot the writer waits for was filled
    std::condition_variable freed_;   // slots were freed, or the prefetch is ending
    std::size_t claimed_ = 0;         // positions handed to workers so far
    std::size_t taken_ = 0;           // positions the writer took
    std::uint64_t bufferedBytes_ = 0;
    std::size_t idleWorkers_ = 0;
    bool writerWaiting_ = false;
    bool ending_ = false;
    std::atomic<bool> stopping_{false};  // ending_, for runs being prepared without the lock
    std::vector<std::thread> workers_;
};

}  // namespace brevik::pst
