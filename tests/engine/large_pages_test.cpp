#include "engine/large_pages.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <string>

namespace brevik {
namespace {

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// A large table reserved this way is touched in far fewer faults than one per 4 KiB page, where
// the system hands out large pages on request; small tables are left alone.
TEST(LargePages, LargeTablesFaultInFewPieces) {
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    std::getline(setting, modes);
    if (modes.find("[madvise]") == std::string::npos && modes.find("[always]") == std::string::npos)
        GTEST_SKIP() << "no large pages here: " << modes;
    constexpr std::size_t kBytes = 64u << 20;
    std::vector<std::uint64_t> table;
    reserveLarge(table, kBytes / sizeof(std::uint64_t));
    ASSERT_GE(table.capacity(), kBytes / sizeof(std::uint64_t));
    const long before = minorFaults();
    table.assign(kBytes / sizeof(std::uint64_t), 7);
    const long faults = minorFaults() - before;
    EXPECT_LT(faults, static_cast<long>(kBytes / 4096 / 4)) << faults << " faults";
    EXPECT_EQ(table.back(), 7u);

    std::vector<std::uint64_t> small{1, 2, 3};
    reserveLarge(small, 100);
    EXPECT_EQ(small, (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_GE(small.capacity(), 100u);
}

}  // namespace
}  // namespace brevik
