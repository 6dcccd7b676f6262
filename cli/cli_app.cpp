// Command-line parsing; the only file that includes CLI11.
#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/commands.h"

namespace brevik::cli {

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Brevik: recovers folders and items from damaged or healthy .pst files",
                 "brevik-cli"};
    app.require_subcommand(1);

    InfoOptions info;
    auto* infoCmd = app.add_subcommand("info", "Show the layout and index tables of each file");
    infoCmd->add_option("files", info.files, "Personal folder files (.pst)")->required();
    infoCmd->add_flag("--json", info.json, "Print JSON");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err);
    }
    if (infoCmd->parsed()) return runInfo(info, out, err);
    return 2;
}

}  // namespace brevik::cli
