#include "support/cli_run.h"

#include <sstream>

#include "cli/commands.h"

namespace brevik::test {

CliRun runCli(std::vector<std::string> args) {
    args.insert(args.begin(), "brevik-cli");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int status = cli::runCli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

}  // namespace brevik::test
