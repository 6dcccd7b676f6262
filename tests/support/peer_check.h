// Reads a file we wrote with the independent readers: reading our own output back does not
// catch what other readers reject.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>

namespace brevik::test {

// pffinfo opens `written`, pffexport exports it without an error (finding `items` items when
// given), and readpst reads it whenever it reads `source` (when given). Readers that are not
// installed are left out.
::testing::AssertionResult peersReadWrittenFile(const std::string& written,
                                                const std::string& source = {},
                                                std::optional<std::size_t> items = {});

}  // namespace brevik::test
