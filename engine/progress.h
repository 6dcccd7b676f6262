// Milestone slots that a running pass marks and a progress display reads from another thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace brevik {

class ProgressMilestones {
  public:
    static constexpr int kSlots = 3543;
    // A slot counts as reached once it holds a value above this.
    static constexpr std::uint32_t kMarkFloor = 512;

    void clear() {
        for (auto& s : slots_)
            s.store(0, std::memory_order_relaxed);
    }
    void mark(int slot, std::uint32_t value = 513) {
        if (slot >= 0 && slot < kSlots) slots_[slot].store(value, std::memory_order_relaxed);
    }
    std::uint32_t value(int slot) const {
        return (slot >= 0 && slot < kSlots) ? slots_[slot].load(std::memory_order_relaxed) : 0;
    }
    // Highest slot at or above `from` whose value is above the floor, or `from` - 1 when none.
    int highestReached(int from = 0) const {
        int best = from - 1;
        for (int s = from < 0 ? 0 : from; s < kSlots; ++s)
            if (slots_[s].load(std::memory_order_relaxed) > kMarkFloor) best = s;
        return best;
    }

  private:
    std::array<std::atomic<std::uint32_t>, kSlots> slots_{};
};

}  // namespace brevik
