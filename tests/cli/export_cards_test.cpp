// brevik-cli export --format vcf|ics over the sample files: every file written parses with
// Python's vobject and icalendar, and holds at least what readpst writes of the same file.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/cli_run.h"
#include "support/corpus.h"
#include "support/peer_tools.h"
#include "writers/mail_files.h"

namespace brevik::cli {
namespace {

namespace fs = std::filesystem;

TEST(ExportCards, CorpusContactsAndCalendarsParseAndHoldWhatReadpstWrites) {
    BREVIK_REQUIRE_CORPUS();
    const bool peer = test::haveTool("readpst");
    struct Expected {
        const char* file;
        int cards, groups, events;
    };
    // Events count changed occurrences too: dist-list's two recurring meetings have two each.
    const Expected expected[] = {{"chunks-part1", 21, 0, 9},   {"dist-list", 1, 1, 6},
                                 {"outlook1", 1, 0, 1},        {"passworded", 1, 1, 0},
                                 {"sample-contacts", 6, 0, 0}, {"personal-storage-file", 18, 0, 0}};
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.file);
        test::TempDir dir;
        const std::string pst = test::corpusPath(std::string("pst/") + e.file + ".pst");
        for (const char* format : {"vcf", "ics"}) {
            const auto run = test::runCli(
                {"export", pst, "--format", format, "--out", (dir.path() / "ours").string()});
            EXPECT_EQ(run.status, 0) << run.err;
        }
        std::string command = "/usr/bin/python3 " BREVIK_TEST_SUPPORT_DIR "/cards_check.py " +
                              test::shellQuote((dir.path() / "ours").string());
        if (peer) {
            fs::create_directories(dir.path() / "peer");
            test::runTool({"readpst", "-j", "0", "-cv", "-o", (dir.path() / "peer").string(), pst},
                          dir.path() / "readpst.log");
            command += " " + test::shellQuote((dir.path() / "peer").string());
        }
        std::string output;
        ASSERT_EQ(test::runCommand(command, &output), 0) << output;
        const auto j = nlohmann::json::parse(output);
        EXPECT_TRUE(j["errors"].empty()) << j["errors"].dump();
        EXPECT_EQ(j["cards"], e.cards);
        EXPECT_EQ(j["groups"], e.groups);
        EXPECT_EQ(j["events"], e.events);
        if (peer) {
            EXPECT_TRUE(j["missingFacts"].empty()) << j["missingFacts"].dump();
            EXPECT_TRUE(j["missingStarts"].empty()) << j["missingStarts"].dump();
            EXPECT_LE(j["peerCards"].get<int>(), e.cards);
        }
    }
}

}  // namespace
}  // namespace brevik::cli
