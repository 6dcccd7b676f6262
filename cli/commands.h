// The commands of brevik-cli. Each writes to the given streams so tests can run it in-process.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace brevik::cli {

// Parses the command line and runs one command; returns the process exit status.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;
};
int runInfo(const InfoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace brevik::cli
