// What the list shows of appointments, tasks and journal entries beyond their summary rows:
// location, start and end, due date, status, percent complete, journal type. Read from the file
// once when such a folder is listed.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "recovery/recovered_base.h"

namespace brevik::views {

struct KindColumns {
    std::string location;
    std::string start;  // the local time texts of the list's Date column
    std::string end;
    std::string due;
    std::string status;
    std::string percent;         // "40%"
    std::string type;            // journal type
    std::uint64_t startKey = 0;  // UTC FILETIMEs, 0 when none
    std::uint64_t endKey = 0;
    std::uint64_t dueKey = 0;
    int percentKey = -1;
};

// The columns of `items` of `base`, by item index.
std::unordered_map<std::uint32_t, KindColumns> readKindColumns(
    RecoveredBase& base, const std::vector<std::uint32_t>& items);

}  // namespace brevik::views
