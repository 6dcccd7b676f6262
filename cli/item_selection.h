// The --items option of export: running numbers as `list` shows them, and ranges of them.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "recovery/recovered_base.h"

namespace brevik::cli {

struct ItemRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;  // inclusive; equal to `first` for a single number
};

// "3,5,10-20": decimal numbers from 1 and ranges of them, separated by commas. Empty, with
// `why` set, for anything else (signs, hexadecimal, spaces, empty parts, numbers too large,
// ranges that run backwards).
std::optional<std::vector<ItemRange>> parseItemList(const std::string& text, std::string& why);

// The indexes of the listed items (not hidden, loaded) whose numbers the ranges name, in index
// order. A single number must name a listed item and a range must end at or before the highest
// listed number; otherwise writes the reason to `err` and returns nothing.
std::optional<std::vector<std::uint32_t>> selectItems(const RecoveredBase& base,
                                                      const std::vector<ItemRange>& ranges,
                                                      const std::string& file, std::ostream& err);

}  // namespace brevik::cli
