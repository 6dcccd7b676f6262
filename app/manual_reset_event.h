// A manual-reset event: stays set until reset, wakes every waiter. Created set, so a set "done"
// event means that no worker runs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace brevik {

class ManualResetEvent {
  public:
    explicit ManualResetEvent(bool initiallySet = true) : flag_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void set() {
        {
            std::lock_guard lock(mutex_);
            flag_.store(true, std::memory_order_release);
        }
        changed_.notify_all();
    }
    void reset() {
        std::lock_guard lock(mutex_);
        flag_.store(false, std::memory_order_release);
    }
    // Tests without waiting.
    bool isSet() const { return flag_.load(std::memory_order_acquire); }
    // True when the event is set within `timeout`.
    bool wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return flag_.load(); });
    }
    // The flag itself, for code that polls an atomic stop flag.
    const std::atomic<bool>& flag() const { return flag_; }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> flag_;
};

}  // namespace brevik
