// Workers that make the results of positions 0, 1, 2, ... ahead of one consumer, which takes them
// in that order: making a result costs the time, taking it is cheap, and the two overlap. Results
// made and not yet taken are bounded in number and, optionally, in bytes, which bounds the memory
// they hold.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace brevik {

struct OrderedLimits {
    // Results made and not yet done with, the one the consumer holds included (at least 2).
    std::size_t ahead = 2;
    // Positions a worker takes at a time and hands over together: one wake-up of the consumer
    // per run, and `around` sees the whole run.
    std::size_t run = 1;
    // Bytes the results waiting may hold; the one the consumer waits for is always made.
    std::uint64_t bytes = UINT64_MAX;
};

template <typename T>
class OrderedWorkers {
  public:
    // Makes the result of one position; called from several threads at once. The token is
    // stopped once the consumer has gone, so that a long making can end early.
    using Make = std::function<T(std::uint64_t position, const std::stop_token& ending)>;
    // How many bytes of memory a result holds (for OrderedLimits::bytes).
    using Size = std::function<std::uint64_t(const T&)>;
    // Called on a worker around the making of positions [first, first + count), which it must
    // start once by calling `makeAll`: what they have in common (reads, say) can be done in one go.
    using Around =
        std::function<void(std::uint64_t first, std::size_t count, const std::function<void()>&)>;

    // Starts up to `workers` threads for `count` positions (none for fewer than two: the
    // consumer then makes each result itself). Threads the system refuses are left out.
    OrderedWorkers(std::uint64_t count, unsigned workers, OrderedLimits limits, Make make,
                   Size size = nullptr, Around around = nullptr)
        : count_(count),
          limits_(limits),
          make_(std::move(make)),
          size_(std::move(size)),
          around_(std::move(around)) {
        limits_.run = std::max<std::size_t>(limits_.run, 1);
        if (count_ < 2 || workers == 0) return;
        ring_.resize(static_cast<std::size_t>(
            std::min<std::uint64_t>(count_ + 1, std::max<std::size_t>(limits_.ahead, 2))));
        workers = static_cast<unsigned>(std::min<std::uint64_t>(workers, count_));
        threads_.reserve(workers);
        for (unsigned k = 0; k < workers; ++k) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    // Stops the workers; a run being made ends at its next position.
    ~OrderedWorkers() {
        {
            const std::scoped_lock guard(lock_);
            ending_ = true;
        }
        stop_.request_stop();
        freed_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    OrderedWorkers(const OrderedWorkers&) = delete;
    OrderedWorkers& operator=(const OrderedWorkers&) = delete;

    std::size_t workers() const { return threads_.size(); }
    // Positions taken so far: the next one to take.
    std::uint64_t taken() const { return taken_; }

    // The result of the next position (at most `count` calls), valid until the next call; raises
    // what making it raised.
    T& next() { return *next({}, nullptr); }

    // The same, asking `keepWaiting` every `poll` while the result is not made yet; null once it
    // answers false.
    T* next(std::chrono::milliseconds poll, const std::function<bool()>& keepWaiting) {
        if (threads_.empty()) {
            here_ = make_(taken_++, stop_.get_token());
            return &here_;
        }
        std::unique_lock guard(lock_);
        Slot& slot = ring_[taken_ % ring_.size()];
        const auto filled = [&] { return slot.filled; };
        consumerWaiting_ = true;
        if (!keepWaiting) {
            filled_.wait(guard, filled);
        } else {
            while (!filled_.wait_for(guard, poll, filled)) {
                guard.unlock();
                const bool keep = keepWaiting();
                guard.lock();
                if (!keep) {
                    consumerWaiting_ = false;
                    return nullptr;
                }
            }
        }
        consumerWaiting_ = false;
        // The result taken before is spent now; a worker frees it when it reuses the slot, so
        // memory goes back on the thread that allocated it.
        slot.filled = false;
        buffered_ -= slot.bytes;
        ++taken_;
        // Workers sleep while the ring is full and wake when half of it is free again, rather
        // than once per result.
        const bool wake = idleWorkers_ > 0 && claimed_ - taken_ <= ring_.size() / 2;
        const std::exception_ptr error = std::exchange(slot.error, nullptr);
        guard.unlock();
        if (wake) freed_.notify_all();
        if (error) std::rethrow_exception(error);
        return &slot.value;
    }

  private:
    struct Slot {
        bool filled = false;
        T value{};
        std::exception_ptr error;
        std::uint64_t bytes = 0;
    };

    // A position may be made when its slot's earlier result is spent (taken, and not the one the
    // consumer holds) and the results waiting leave room in the byte budget.
    bool mayClaim() const {
        return claimed_ + 1 < taken_ + ring_.size() &&
               (buffered_ < limits_.bytes || claimed_ == taken_);
    }

    void work() {
        std::vector<T> values;
        std::vector<std::exception_ptr> errors;
        std::vector<std::uint64_t> sizes;
        std::vector<T> spent;
        const std::stop_token ending = stop_.get_token();
        std::unique_lock guard(lock_);
        for (;;) {
            while (!ending_ && claimed_ < count_ && !mayClaim()) {
                ++idleWorkers_;
                freed_.wait(guard);
                --idleWorkers_;
            }
            if (ending_ || claimed_ >= count_) return;
            const std::uint64_t first = claimed_;
            do {
                ++claimed_;
            } while (claimed_ - first < limits_.run && claimed_ < count_ && mayClaim());
            const auto count = static_cast<std::size_t>(claimed_ - first);
            for (std::size_t k = 0; k < count; ++k)
                spent.push_back(std::move(ring_[(first + k) % ring_.size()].value));
            guard.unlock();
            spent.clear();
            values.clear();
            values.resize(count);
            errors.assign(count, nullptr);
            sizes.assign(count, 0);
            bool made = false;
            auto makeAll = [&] {
                made = true;
                for (std::size_t k = 0; k < count && !ending.stop_requested(); ++k) {
                    try {
                        values[k] = make_(first + k, ending);
                        if (size_) sizes[k] = size_(values[k]);
                    } catch (...) {
                        errors[k] = std::current_exception();
                    }
                }
            };
            try {
                if (around_)
                    around_(first, count, makeAll);
                else
                    makeAll();
            } catch (...) {
                // The results do not depend on what `around` could not do.
                if (!made) makeAll();
            }
            guard.lock();
            for (std::size_t k = 0; k < count; ++k) {
                Slot& slot = ring_[(first + k) % ring_.size()];
                slot.value = std::move(values[k]);
                slot.error = errors[k];
                slot.bytes = sizes[k];
                slot.filled = true;
                buffered_ += sizes[k];
            }
            if (consumerWaiting_ && taken_ >= first && taken_ < first + count) filled_.notify_one();
        }
    }

    const std::uint64_t count_;
    OrderedLimits limits_;
    const Make make_;
    const Size size_;
    const Around around_;
    std::vector<Slot> ring_;  // position p lives in ring_[p % ring_.size()]
    T here_{};                // a result made on the consumer's thread

    std::mutex lock_;
    std::condition_variable filled_;  // the slot the consumer waits for was filled
    std::condition_variable freed_;   // slots were freed, or the workers are ending
    std::uint64_t claimed_ = 0;       // positions handed to workers so far
    std::uint64_t taken_ = 0;         // positions the consumer took
    std::uint64_t buffered_ = 0;
    std::size_t idleWorkers_ = 0;
    bool consumerWaiting_ = false;
    bool ending_ = false;
    std::stop_source stop_;
    std::vector<std::thread> threads_;
};

}  // namespace brevik
