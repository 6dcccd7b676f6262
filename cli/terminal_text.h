// Texts from a file, made safe to print on a terminal. A subject or folder name may hold escape
// sequences (retitle the window, move the cursor, forge a line) or bidirectional overrides that
// make a name read backwards; text output shows them as visible escapes instead.
#pragma once

#include <string>
#include <string_view>

namespace brevik::cli {

// One line: every control character, line break and bidirectional control escaped: ESC as
// "\e", other C0 controls and DEL as "\xHH", C1 and Unicode controls as "\uHHHH"; bytes that are
// not UTF-8 as "\xHH".
std::string terminalLine(std::string_view text);

// A body of text: as terminalLine, except that line feeds and tabs stay (CR LF becomes LF).
std::string terminalBlock(std::string_view text);

}  // namespace brevik::cli
