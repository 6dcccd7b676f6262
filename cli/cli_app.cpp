// Command-line parsing; the only file that includes CLI11.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>

#include "cli/batch_command.h"
#include "cli/commands.h"
#include "cli/export_command.h"

namespace brevik::cli {

int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Brevik: recovers folders and items from damaged or healthy .pst files",
                 "brevik-cli"};
    app.footer(
        "Exit status: 0 success; 1 the file cannot be read or the command failed; 2 bad "
        "arguments; 3 (list, show, export, report, batch) the file (batch: some file) is "
        "damaged and some of its data was lost.");
    app.require_subcommand(1);
    app.set_version_flag("--version", "brevik-cli " BREVIK_VERSION);

    InfoOptions info;
    auto* infoCmd = app.add_subcommand("info", "Show the layout and index tables of each file");
    infoCmd->add_option("files", info.files, "Personal folder files (.pst)")->required();
    infoCmd->add_flag("--json", info.json, "Print JSON");

    ListOptions list;
    auto* listCmd = app.add_subcommand("list", "Recover a file and list its folders and items");
    listCmd->add_option("file", list.file, "Personal folder file (.pst)")->required();
    auto* listJson = listCmd->add_flag("--json", list.json, "Print JSON");
    listCmd->add_flag("--jsonl", list.jsonLines, "Print JSON lines: one object per item")
        ->excludes(listJson);
    listCmd->add_flag("--deleted", list.deletedOnly, "Only deleted items");
    listCmd->add_flag("--all", list.all,
                      "Also hidden items: folder-associated (views, rules, settings) and system "
                      "items");

    ShowOptions show;
    auto* showCmd = app.add_subcommand("show", "Recover a file and show one item");
    showCmd->add_option("file", show.file, "Personal folder file (.pst)")->required();
    showCmd->add_option("number", show.number, "Running number of the item")->required();
    showCmd->add_flag("--json", show.json, "Print JSON");

    ReportOptions report;
    auto* reportCmd = app.add_subcommand(
        "report", "Recover a file and report its health, damage, what was rebuilt, and sources");
    reportCmd->add_option("file", report.file, "Personal folder file (.pst)")->required();
    reportCmd->add_flag("--json", report.json, "Print JSON");

    // Help and the answer to an unknown format name only the formats this build writes;
    // runExport answers a request for one it lacks.
    const std::string builtSet = "{" + CLI::detail::join(builtExportFormats(), ",") + "}";
    const CLI::Validator formatCheck(
        [builtSet](std::string& format) {
            const std::vector<std::string>& known = knownExportFormats();
            return std::find(known.begin(), known.end(), format) != known.end()
                       ? std::string()
                       : format + " not in " + builtSet;
        },
        builtSet);
    ExportOptions exp;
    std::string itemList;
    auto* exportCmd = app.add_subcommand(
        "export", "Recover a file and save what it holds as " + builtFormatNames());
    exportCmd->add_option("file", exp.file, "Personal folder file (.pst)")->required();
    exportCmd->add_option("--format", exp.format, "Output format")->check(formatCheck);
    exportCmd->add_option("--out", exp.outFolder, "Folder that receives the output")->required();
    exportCmd->add_option("--items", itemList,
                          "Running numbers of the items to save, and ranges: 3,5,10-20");

    BatchOptions batch;
    auto* batchCmd = app.add_subcommand(
        "batch",
        "Recover many files, each into a folder of its own under DIR (listing.json, "
        "report.json, result.json and, with --format, export/), printing one JSON line per file");
    batchCmd->add_option("files", batch.files, "Personal folder files (.pst)")->required();
    batchCmd->add_option("--out", batch.outFolder, "Folder that receives a folder per file")
        ->required();
    batchCmd->add_option("--jobs", batch.jobs, "Files recovered at once (default: one per core)")
        ->check(CLI::Range(1u, 1024u));
    batchCmd->add_option("--format", batch.format, "Also export each file in this format")
        ->check(formatCheck);

    GenerateOptions gen;
    auto* generateCmd = app.add_subcommand("generate", "Write a synthetic sample file");
    generateCmd->group("");  // for tests and benchmarks
    generateCmd->add_option("out", gen.out, "Output .pst")->required();
    generateCmd->add_option("--items", gen.items, "Live items");
    generateCmd->add_option("--deleted", gen.deleted, "Deleted items");
    generateCmd->add_option("--orphans", gen.orphans, "Items whose folder is missing");
    generateCmd->add_option("--seed", gen.seed, "Seed");
    generateCmd->add_flag("--hostile", gen.hostile, "Escapes, header injections and bidi marks");
    generateCmd->add_flag("--pages4k", gen.pages4k, "4 KiB pages and compressed blocks (.ost)");

    for (auto [command, threads] :
         {std::pair{listCmd, &list.threads}, std::pair{showCmd, &show.threads},
          std::pair{reportCmd, &report.threads}, std::pair{exportCmd, &exp.threads},
          std::pair{batchCmd, &batch.threads}})
        command
            ->add_option("--threads", *threads,
                         "Threads that recover (and save) a file (default: one per core; batch: "
                         "the cores shared among the jobs)")
            ->check(CLI::Range(1u, 256u));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // The parser's message stays; its own codes do not: help and version are 0, any
        // argument error is 2, as the footer says.
        return app.exit(e, out, err) == 0 ? 0 : 2;
    }
    auto runCommand = [&]() {
        if (infoCmd->parsed()) return runInfo(info, out, err);
        if (listCmd->parsed()) return runList(list, out, err);
        if (showCmd->parsed()) return runShow(show, out, err);
        if (reportCmd->parsed()) return runReport(report, out, err);
        if (exportCmd->parsed()) {
            if (exportCmd->count("--items")) {
                std::string why;
                auto ranges = parseItemList(itemList, why);
                if (!ranges) {
                    err << "brevik-cli: --items: " << why << "\n";
                    return 2;
                }
                exp.items = std::move(*ranges);
            }
            return runExport(exp, out, err);
        }
        if (batchCmd->parsed()) return runBatch(batch, out, err);
        if (generateCmd->parsed()) return runGenerate(gen, out, err);
        return 2;
    };
    // Whatever a damaged file leads to, the command ends with a message and a status.
    try {
        return runCommand();
    } catch (const std::exception& e) {
        err << "brevik-cli: internal error: " << e.what() << "\n";
    } catch (...) {
        err << "brevik-cli: internal error\n";
    }
    return 1;
}

}  // namespace brevik::cli
