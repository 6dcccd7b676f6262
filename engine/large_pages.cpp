#include "engine/large_pages.h"

#ifndef _WIN32
#include <sys/mman.h>
#endif

#include <cstdint>

namespace brevik {

void adviseLargePages(const void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kLargePage = 2u << 20;
    constexpr std::size_t kMinBytes = 4u << 20;
    if (bytes < kMinBytes) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kLargePage - 1);
    // Only a hint: a system without large pages refuses it, and nothing changes.
    if (first < last) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace brevik
