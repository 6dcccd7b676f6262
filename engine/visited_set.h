// Ids already seen by a walk over file structures that may point at each other (subnode blocks,
// data trees, BTH pages). A walk usually sees a handful: those stay in place without allocating,
// and only a larger walk moves them to a hash set.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <unordered_set>

namespace brevik {

template <typename T>
class VisitedSet {
  public:
    // True when `id` had not been seen before; it has been from now on.
    bool insert(T id) {
        if (large_.empty()) {
            const auto end = small_.begin() + static_cast<std::ptrdiff_t>(count_);
            if (std::find(small_.begin(), end, id) != end) return false;
            if (count_ < small_.size()) {
                small_[count_++] = id;
                return true;
            }
            large_.insert(small_.begin(), small_.end());
        }
        return large_.insert(id).second;
    }

  private:
    std::array<T, 16> small_{};
    std::size_t count_ = 0;
    std::unordered_set<T> large_;
};

}  // namespace brevik
