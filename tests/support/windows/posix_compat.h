// Included ahead of every Windows test source: the POSIX time calls a few tests compare with.
#pragma once
#ifdef _WIN32
#include <ctime>

std::tm* gmtime_r(const std::time_t* t, std::tm* out);
#endif
