// Times as the user's locale writes them, with the year in four digits.
#pragma once

#include <QString>
#include <cstdint>

namespace brevik::views {

// A UTC FILETIME as local date and time in the default locale's short format, its year always
// written in full; empty for 0.
QString localeDateTime(std::uint64_t utcFiletime);

// The default locale's short date and time format with a four-digit year.
QString fourDigitYearFormat();

}  // namespace brevik::views
