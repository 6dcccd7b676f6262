// FILETIME, the format's time stamp: 100-nanosecond ticks since 1601-01-01 00:00 UTC.
#pragma once

#include <cstdint>

namespace brevik::filetime {

inline constexpr std::uint64_t kTicksPerSecond = 10000000;
inline constexpr std::int64_t kUnixEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
inline constexpr std::uint64_t kUnixEpochTicks = std::uint64_t{kUnixEpochSeconds} * kTicksPerSecond;

// Whole seconds since 1970-01-01 of a FILETIME not before it.
inline constexpr std::uint64_t unixSeconds(std::uint64_t ticks) {
    return (ticks - kUnixEpochTicks) / kTicksPerSecond;
}

}  // namespace brevik::filetime
