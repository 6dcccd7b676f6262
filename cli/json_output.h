// JSON as the commands print it.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

namespace brevik::cli {

// Texts from damaged files and file names need not be valid UTF-8: invalid sequences print as
// U+FFFD instead of ending the command.
inline void printJson(std::ostream& out, const nlohmann::json& j) {
    out << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace brevik::cli
