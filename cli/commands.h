// The commands of brevik-cli. Each writes to the given streams so tests can run it in-process.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace brevik {
class RecoveredBase;
}

namespace brevik::cli {

// Parses the command line and runs one command; returns the process exit status.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

struct InfoOptions {
    std::vector<std::string> files;
    bool json = false;
};
int runInfo(const InfoOptions& options, std::ostream& out, std::ostream& err);

struct ListOptions {
    std::string file;
    bool json = false;
    bool jsonLines = false;  // one compact object per item and line
    bool deletedOnly = false;
    bool all = false;      // hidden items too: folder-associated and system items
    unsigned threads = 0;  // of the recovery; 0: one per core
};
int runList(const ListOptions& options, std::ostream& out, std::ostream& err);
// What runList prints for a base already recovered.
void writeListing(const RecoveredBase& base, const ListOptions& options, std::ostream& out);

struct ShowOptions {
    std::string file;
    std::uint32_t number = 0;
    bool json = false;
    unsigned threads = 0;
};
int runShow(const ShowOptions& options, std::ostream& out, std::ostream& err);

struct ReportOptions {
    std::string file;
    bool json = false;
    unsigned threads = 0;
};
int runReport(const ReportOptions& options, std::ostream& out, std::ostream& err);
// What runReport prints for a base already recovered.
void writeReport(const RecoveredBase& base, const ReportOptions& options, std::ostream& out);

}  // namespace brevik::cli
