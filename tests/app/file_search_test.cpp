#include "app/file_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/app_state.h"
#include "support/app_fixtures.h"
#include "support/peer_tools.h"

namespace brevik::app {
namespace {

namespace fs = std::filesystem;

TEST(FileSearchTest, FindsDataFilesOnceThroughLinksAndManyFolders) {
    test::TempDir dir;
    AppEnvironment env;
    env.localDataFolder = (dir.path() / "data").string();
    AppState state(env);
    auto events = std::make_shared<test::RecordingTaskEvents>();

    const fs::path root = dir.path() / "disk";
    fs::create_directories(root / "a" / "deep" / "er");
    fs::create_directories(root / "x.pst");  // a folder, searched into, never added
    std::ofstream(root / "a" / "one.pst") << "x";
    std::ofstream(root / "a" / "deep" / "er" / "two.OST") << "x";
    std::ofstream(root / "x.pst" / "three.pst") << "x";
    std::ofstream(root / "readme.txt") << "x";
    ASSERT_EQ(::mkfifo((root / "pipe.pst").c_str(), 0600), 0);  // would block whoever reads it
    fs::create_directory_symlink(root, root / "a" / "loop");  // would never end if followed blindly
    for (int i = 0; i < 501; ++i)
        std::ofstream(root / ("many" + std::to_string(i) + ".pst")) << "x";

    state.stopEvent.reset();  // as a search task starts
    searchPath(state, root.string(), events.get());
    EXPECT_EQ(state.searchResult.load(), 1);
    ASSERT_EQ(state.baseCount(), 504u);
    for (const auto& b : state.messageBases)
        EXPECT_TRUE(isMessageBaseName(b->fileName)) << b->fileName;

    // A second search adds nothing, nor one through another path to the same folder; a removed
    // base stays a known file.
    state.baseViews[0].removedFromTree = true;
    searchPath(state, root.string(), events.get());
    fs::create_directory_symlink(root / "a", dir.path() / "alias");
    searchPath(state, (dir.path() / "alias").string(), events.get());
    EXPECT_EQ(state.baseCount(), 504u);

    // Stopped: nothing more is searched and the result says so.
    state.stopEvent.set();
    searchPath(state, (dir.path() / "data").string(), events.get());
    EXPECT_EQ(state.searchResult.load(), 0);
    ASSERT_FALSE(events->statusTexts.empty());
    EXPECT_EQ(events->statusTexts.back(), "Closing...");
}

}  // namespace
}  // namespace brevik::app
