// The C runtime's gmtime stops at the year 3000; the system's calendar takes every FILETIME.
#include "posix_compat.h"

#include <windows.h>

#include <cstdint>

std::tm* gmtime_r(const std::time_t* t, std::tm* out) {
    const std::int64_t seconds = static_cast<std::int64_t>(*t) + 11644473600;
    if (seconds < 0) return nullptr;
    const auto ticks = static_cast<std::uint64_t>(seconds) * 10000000;
    const FILETIME at{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME f{};
    if (!::FileTimeToSystemTime(&at, &f)) return nullptr;
    static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (f.wYear % 4 == 0 && f.wYear % 100 != 0) || f.wYear % 400 == 0;
    *out = std::tm{};
    out->tm_year = f.wYear - 1900;
    out->tm_mon = f.wMonth - 1;
    out->tm_mday = f.wDay;
    out->tm_hour = f.wHour;
    out->tm_min = f.wMinute;
    out->tm_sec = f.wSecond;
    out->tm_wday = f.wDayOfWeek;
    out->tm_yday = kDaysBefore[out->tm_mon] + f.wDay - 1 + (leap && f.wMonth > 2);
    return out;
}
