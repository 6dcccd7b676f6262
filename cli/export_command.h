// brevik-cli export (save a recovered file as .pst) and the hidden generate (sample files).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/item_selection.h"

namespace brevik {
class RecoveredBase;
}

namespace brevik::cli {

struct ExportOptions {
    std::string file;              // the .pst to recover
    std::string format = "pst";    // pst, msg, eml or mbox
    std::string outFolder;         // DIR: receives the .pst file or the folder of files
    std::vector<ItemRange> items;  // item numbers to save; empty: all
    unsigned threads = 0;          // of the recovery and the save; 0: one per core
};
int runExport(const ExportOptions& options, std::ostream& out, std::ostream& err);

// Every format export knows, and those of them this build writes (Windows lacks the libraries
// of .msg, .eml, mbox and .ics), in the order help names them.
const std::vector<std::string>& knownExportFormats();
std::vector<std::string> builtExportFormats();
// The built formats as help names them: ".pst, .msg, .eml, mbox, .vcf or .ics".
std::string builtFormatNames();
// Empty when this build writes `format`; otherwise a one-line message for the user.
std::string formatNotBuilt(const std::string& format);
// The save step of runExport, for a base already recovered; returns its exit status.
int exportRecovered(RecoveredBase& base, const ExportOptions& options, std::ostream& out,
                    std::ostream& err);

struct GenerateOptions {
    std::string out;  // OUT.pst
    std::uint64_t items = 10;
    std::uint64_t deleted = 0;
    std::uint64_t orphans = 0;
    std::uint64_t seed = 1;
    bool hostile = false;  // texts a hostile file would hold, for tests and fuzzing
    bool pages4k = false;  // the offline layout with 4 KiB pages and deflated blocks
};
int runGenerate(const GenerateOptions& options, std::ostream& out, std::ostream& err);

}  // namespace brevik::cli
