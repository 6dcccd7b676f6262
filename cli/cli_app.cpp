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

    ListOptions list;
    auto* listCmd = app.add_subcommand("list", "Recover a file and list its folders and items");
    listCmd->add_option("file", list.file, "Personal folder file (.pst)")->required();
    listCmd->add_flag("--json", list.json, "Print JSON");
    listCmd->add_flag("--deleted", list.deletedOnly, "Only deleted items");

    ShowOptions show;
    auto* showCmd = app.add_subcommand("show", "Recover a file and show one item");
    showCmd->add_option("file", show.file, "Personal folder file (.pst)")->required();
    showCmd->add_option("number", show.number, "Running number of the item")->required();
    showCmd->add_flag("--json", show.json, "Print JSON");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err);
    }
    if (infoCmd->parsed()) return runInfo(info, out, err);
    if (listCmd->parsed()) return runList(list, out, err);
    if (showCmd->parsed()) return runShow(show, out, err);
    return 2;
}

}  // namespace brevik::cli
