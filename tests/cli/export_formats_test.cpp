// A build names the formats it writes; one without a format's library says so for that format.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/export_command.h"
#include "support/cli_run.h"

namespace brevik {
namespace {

TEST(ExportFormats, HelpNamesWhatTheBuildWritesAndAnotherFormatIsRefusedInOneLine) {
    const std::vector<std::string> built = cli::builtExportFormats();
    ASSERT_FALSE(built.empty());
    EXPECT_EQ(built.front(), "pst");
    const test::CliRun help = test::runCli({"export", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const std::string& format : cli::knownExportFormats()) {
        const bool isBuilt = std::find(built.begin(), built.end(), format) != built.end();
        EXPECT_EQ(cli::formatNotBuilt(format).empty(), isBuilt) << format;
        if (isBuilt) continue;
        for (const char* command : {"export", "batch"}) {
            const test::CliRun run =
                test::runCli({command, "x.pst", "--format", format, "--out", "unused"});
            EXPECT_EQ(run.status, 2) << command << " " << format;
            EXPECT_EQ(run.err, cli::formatNotBuilt(format) + "\n");
            EXPECT_NE(run.err.find("not available in this build"), std::string::npos);
        }
    }
    std::string names;
    for (const std::string& f : built)
        names += (names.empty() ? "{" : ",") + f;
    EXPECT_NE(help.out.find(names + "}"), std::string::npos) << help.out;
}

}  // namespace
}  // namespace brevik
