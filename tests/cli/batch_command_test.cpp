// Many files in one run: a folder of results and a JSON line per file, and a status that says
// whether any file lost data or failed.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/cli_run.h"
#include "support/corpus.h"
#include "support/damage.h"
#include "support/peer_tools.h"

namespace brevik {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(BatchCommand, EachFileGetsItsFolderAndLineAndTheStatusTakesTheWorst) {
    BREVIK_REQUIRE_CORPUS();
    test::TempDir dir;
    const std::string healthy = test::corpusPath("pst/outlook1.pst");
    // A damaged copy of the same name in another folder: its results must not meet the first's.
    const std::string damaged = (dir.path() / "outlook1.pst").string();
    test::writeTruncatedCopy(healthy, 80, damaged);
    const std::string garbage = test::corpusPath("eml/test.eml");
    const std::string out = (dir.path() / "results").string();

    const test::CliRun all = test::runCli({"batch", "--out", out, "--jobs", "2", "--format", "eml",
                                           healthy, damaged, garbage, healthy});
    EXPECT_EQ(all.status, 1) << all.err;
    std::map<std::string, nlohmann::json> lines;
    std::istringstream in(all.out);
    for (std::string line; std::getline(in, line);) {
        const auto j = nlohmann::json::parse(line);
        const std::string folder = j.at("folder");
        EXPECT_EQ(readText(fs::path(folder) / "result.json"), line + "\n");
        lines[j.at("file")] = j;
    }
    ASSERT_EQ(lines.size(), 3u) << all.out;  // the file named twice ran once
    EXPECT_NE(lines[healthy]["folder"], lines[damaged]["folder"]);
    EXPECT_EQ(lines[healthy]["verdict"], "healthy");
    EXPECT_EQ(lines[healthy]["items"], 17);
    EXPECT_EQ(lines[damaged]["verdict"], "damaged");
    EXPECT_TRUE(lines[damaged]["dataLost"].get<bool>());
    EXPECT_EQ(lines[garbage]["verdict"], "failed");
    EXPECT_NE(lines[garbage]["messages"].get<std::string>().find("not a readable"),
              std::string::npos);

    // The folder holds what list --json and report --json print, and the export.
    const fs::path folder = lines[healthy]["folder"].get<std::string>();
    EXPECT_EQ(readText(folder / "listing.json"), test::runCli({"list", "--json", healthy}).out);
    EXPECT_EQ(readText(folder / "report.json"), test::runCli({"report", "--json", healthy}).out);
    std::size_t emlFiles = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder / "export"))
        emlFiles += e.path().extension() == ".eml";
    EXPECT_GT(emlFiles, 0u);

    EXPECT_EQ(test::runCli({"batch", "--out", out, healthy, damaged}).status, 3);
    EXPECT_EQ(test::runCli({"batch", "--out", out, healthy}).status, 0);
}

}  // namespace
}  // namespace brevik
