// Exit statuses scripts can trust, and the report of what a file lost and how it was rebuilt.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "support/cli_run.h"
#include "support/corpus.h"
#include "support/damage.h"
#include "support/peer_tools.h"

namespace brevik {
namespace {

TEST(ReportCommand, ExitStatusSaysWhetherDataWasLost) {
    BREVIK_REQUIRE_CORPUS();
    test::TempDir dir;
    const std::string healthy = test::corpusPath("pst/outlook1.pst");
    const std::string truncated = (dir.path() / "cut.pst").string();
    test::writeTruncatedCopy(healthy, 80, truncated);
    const std::string garbage = test::corpusPath("eml/test.eml");

    for (const char* command : {"list", "report"}) {
        EXPECT_EQ(test::runCli({command, healthy}).status, 0) << command;
        EXPECT_EQ(test::runCli({command, truncated}).status, 3) << command;
        EXPECT_EQ(test::runCli({command, garbage}).status, 1) << command;
    }
    EXPECT_EQ(test::runCli({"show", truncated, "1"}).status, 3);

    const auto cut = nlohmann::json::parse(test::runCli({"report", "--json", truncated}).out);
    EXPECT_EQ(cut["verdict"], "damaged");
    bool shorter = false;
    for (const auto& k : cut["damage"])
        if (k["kind"] == "file shorter than its header says") {
            shorter = true;
            EXPECT_EQ(k["firstOffsets"][0], std::filesystem::file_size(truncated));
        }
    EXPECT_TRUE(shorter) << cut.dump(2);

    const auto ok = nlohmann::json::parse(test::runCli({"report", "--json", healthy}).out);
    EXPECT_EQ(ok["verdict"], "healthy");
    EXPECT_EQ(ok["rebuilt"]["itemsFromDataAlone"], 1);
    for (const auto& f : ok["folders"]) {
        if (f["path"] == "Top of Personal Folders/Inbox") {
            EXPECT_EQ(f["items"]["live index"], 8);
        }
    }
    for (const std::string& file : test::corpusPstFiles())
        EXPECT_EQ(test::runCli({"list", file}).status, 0) << file << " is healthy";
}

}  // namespace
}  // namespace brevik
