// Runs brevik-cli commands in-process and captures what they print.
#pragma once

#include <string>
#include <vector>

namespace brevik::test {

struct CliRun {
    int status = 0;
    std::string out;
    std::string err;
};

// `args` without the program name.
CliRun runCli(std::vector<std::string> args);

}  // namespace brevik::test
