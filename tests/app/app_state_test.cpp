#include "app/app_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "app/temp_files.h"
#include "support/app_fixtures.h"
#include "support/peer_tools.h"

namespace brevik::app {
namespace {

namespace fs = std::filesystem;
using test::MemorySettingsStore;

void touch(const fs::path& p) {
    std::ofstream(p) << "x";
}

AppEnvironment environmentIn(const fs::path& root, SettingsStore* store) {
    AppEnvironment env;
    env.settings = store;
    env.localDataFolder = (root / "data").string();
    env.documentsFolder = (root / "docs").string();
    return env;
}

TEST(AppStateTest, StartUpChoosesFoldersCleansLeftoversAndAddsDefaultFiles) {
    test::TempDir dir;
    MemorySettingsStore store;
    const fs::path temp = dir.path() / "data" / kProductName / "_qzt_temp";
    fs::create_directories(temp);
    touch(temp / "~temporary_1_2_3_4");
    touch(temp / "_working.pst");
    touch(temp / "keep.txt");
    const fs::path outlook = dir.path() / "data" / "Microsoft" / "Outlook";
    fs::create_directories(outlook / "folder.pst");
    touch(outlook / "Mail.pst");
    touch(outlook / "Cache.OST");
    touch(outlook / "notes.txt");

    AppState state(environmentIn(dir.path(), &store));
    EXPECT_EQ(state.tempFolder, temp.string());
    EXPECT_EQ(state.installFolder, state.tempFolder);  // no "Path" setting
    EXPECT_EQ(state.saveFolder, (dir.path() / "docs").string());
    EXPECT_FALSE(fs::exists(temp / "~temporary_1_2_3_4"));
    EXPECT_FALSE(fs::exists(temp / "_working.pst"));
    EXPECT_TRUE(fs::exists(temp / "keep.txt"));
    EXPECT_EQ((fs::status(temp).permissions() & fs::perms::others_all), fs::perms::none);
    // Data files directly in the default folder; a folder named like one is not a file.
    ASSERT_EQ(state.baseCount(), 2u);
    EXPECT_EQ(state.selectedBase, kNoBase);
    EXPECT_TRUE(state.doneEvent.isSet());
    EXPECT_EQ(state.addBase(outlook.string(), "MAIL.PST"), nullptr);  // same file, other case
}

TEST(AppStateTest, OptionsComeFromMachineThenUserAndAreWrittenForTheUser) {
    test::TempDir dir;
    MemorySettingsStore store;
    store.systemWords["options"] = 7;
    store.userWords["options"] = 3;
    store.systemStrings["Path"] = "/opt/brevik";
    AppState state(environmentIn(dir.path(), &store));
    EXPECT_EQ(state.showKind2Bases, 1);
    EXPECT_EQ(state.showKind3Bases, 1);
    EXPECT_EQ(state.openDefaultOutlookFiles, 0);
    EXPECT_EQ(state.installFolder, "/opt/brevik");
    state.openDefaultOutlookFiles = 1;
    EXPECT_TRUE(writeOptions(state, &store));
    EXPECT_EQ(store.userWords["options"], 7u);
}

TEST(AppStateTest, LayoutValuesRoundTripWithTheMaximiseRules) {
    MemorySettingsStore store;
    WindowLayout none = readLayout(&store);
    EXPECT_EQ(none.workSplit, 200);
    EXPECT_EQ(none.rightSplit, 200);
    EXPECT_FALSE(none.window);

    WindowLayout layout;
    layout.workSplit = 310;
    layout.rightSplit = -1;
    layout.window = WindowRect{-8, -4, 1000, 700};
    layout.maximised = true;
    saveLayout(&store, layout);
    noteMaximised(&store, WindowRect{50, 60, 850, 660});
    WindowLayout back = readLayout(&store);
    EXPECT_EQ(back.workSplit, 310);
    EXPECT_EQ(back.rightSplit, -1);
    ASSERT_TRUE(back.window);
    EXPECT_EQ(back.window->left, 0);  // negative edges are stored as 0
    EXPECT_EQ(back.window->top, 0);
    EXPECT_EQ(back.window->right, 1000);
    EXPECT_TRUE(back.maximised);
    ASSERT_TRUE(back.restore);
    EXPECT_EQ(back.restore->width(), 800);
    noteRestored(&store);
    EXPECT_FALSE(readLayout(&store).restore);
    // A short or empty rectangle is no rectangle.
    EXPECT_FALSE(decodeRect({1, 2, 3}));
    EXPECT_FALSE(decodeRect(encodeRect(WindowRect{10, 10, 10, 50})));
}

TEST(AppStateTest, CommandsFollowTheirFlagsAndOnlyStopWhileBusy) {
    test::TempDir dir;
    AppState state(environmentIn(dir.path(), nullptr));
    state.canRecover = state.canSave = state.canRemove = state.canCopy = 1;
    for (const CommandState& c : updateCommandStates(state))
        EXPECT_EQ(c.enabled, c.id != cmd::kStopToolbar && c.id != cmd::kStopMenu) << c.id;
    state.busy = 1;
    for (const CommandState& c : updateCommandStates(state))
        EXPECT_EQ(c.enabled, c.id == cmd::kStopToolbar || c.id == cmd::kStopMenu) << c.id;
    state.busy = 0;
}

TEST(AppStateTest, MakePathAndTempFileNames) {
    test::TempDir dir;
    const std::string deep = (dir.path() / "a" / "b" / "c").string() + "/";
    EXPECT_EQ(makePath(deep), 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b" / "c"));
    touch(dir.path() / "file");
    EXPECT_EQ(makePath((dir.path() / "file" / "x").string()), -1);

    const std::string a = makeTempFileName(dir.path().string());
    const std::string b = makeTempFileName(dir.path().string());
    EXPECT_NE(a, b);
    EXPECT_EQ(fs::path(a).filename().string().rfind("~temporary_", 0), 0u);
    touch(a);
    touch(b);
    cleanTempFolder(dir.path().string(), true, false, a);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
}

}  // namespace
}  // namespace brevik::app
