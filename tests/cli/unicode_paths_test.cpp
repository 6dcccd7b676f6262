// Files and folders named beyond ASCII: on Windows each path crosses from UTF-8 to UTF-16, and
// one that slips through the ANSI code page lands under a garbled name.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "engine/native_files.h"
#include "support/cli_run.h"
#include "support/corpus.h"
#include "support/peer_tools.h"

namespace brevik {
namespace {

namespace fs = std::filesystem;

TEST(UnicodePaths, FilesAndFoldersNamedBeyondAsciiAreReadAndWrittenWhereNamed) {
    BREVIK_REQUIRE_CORPUS();
    test::TempDir dir;
    const std::string folder = native::utf8FromPath(dir.path()) + "/Grüße 日本";
    ASSERT_FALSE(native::makeFolder(folder).failed());
    const std::string file = folder + "/Zoë.pst";
    fs::copy_file(test::corpusPath("pst/sample1.pst"), native::pathFromUtf8(file));

    const test::CliRun list = test::runCli({"list", file});
    EXPECT_EQ(list.status, 0) << list.err;
    // Beside the folder: a name the ANSI code page can hold, so a path that slips through it
    // comes out garbled instead of failing.
    const std::string out = native::utf8FromPath(dir.path()) + "/out ü";
    const test::CliRun exported = test::runCli({"export", file, "--format", "pst", "--out", out});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(native::fileKind(out + "/Zoë_recovered_by_Brevik.pst"), native::FileKind::Regular);

    const test::CliRun batch = test::runCli({"batch", "--out", out, "--format", "pst", file});
    ASSERT_EQ(batch.status, 0) << batch.err;
    const std::string job = nlohmann::json::parse(batch.out).at("folder");
    EXPECT_EQ(native::fileKind(job + "/export/Zoë_recovered_by_Brevik.pst"),
              native::FileKind::Regular);
    // Nothing under a garbled name beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
}

}  // namespace
}  // namespace brevik
