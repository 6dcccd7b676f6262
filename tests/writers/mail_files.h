// Helpers of the .eml, .msg and mbox tests: saved files read back by independent readers
// (Python's email package, olefile, msgconvert) and compared with our own reading.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/crc.h"
#include "test_paths.h"
#include "writer_test_util.h"

namespace brevik::test {

// zlib's CRC-32, which the checker prints for attachment bytes.
inline std::uint32_t zlibCrc(const Bytes& b) {
    return crc32(b.data(), b.size(), 0xFFFFFFFF) ^ 0xFFFFFFFF;
}

// Every regular file below `dir` whose name ends in `ending`, sorted.
inline std::vector<std::string> filesUnder(const std::filesystem::path& dir,
                                           const std::string& ending) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file() && e.path().string().ends_with(ending))
            out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// tests/support/mail_check.py over `paths` ("eml", "msg" or "mbox"): file path -> what it holds.
inline nlohmann::json checkMail(const std::string& mode, const std::vector<std::string>& paths) {
    std::string command = "/usr/bin/python3 " BREVIK_TEST_SUPPORT_DIR "/mail_check.py " + mode;
    for (const auto& p : paths)
        command += " " + shellQuote(p);
    std::string output;
    if (runCommand(command + " 2>/dev/null", &output) != 0) return nlohmann::json::object();
    return nlohmann::json::parse(output, nullptr, false);
}

inline bool haveMailTools() {
    return runCommand("/usr/bin/python3 -c 'import olefile'") == 0 && haveTool("msgconvert");
}

// Text with CRLF line ends made LF and trailing line ends removed.
inline std::string normalisedText(std::string s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

}  // namespace brevik::test
