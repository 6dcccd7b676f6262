#include "app/backup_copy.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "support/peer_tools.h"

namespace brevik::app {
namespace {

namespace fs = std::filesystem;

TEST(BackupCopyTest, CopiesWithProgressAndRefusesWhatWouldHurt) {
    test::TempDir dir;
    const fs::path source = dir.path() / "mail.pst";
    std::ofstream(source) << std::string(9 << 20, 'm');
    fs::permissions(source, fs::perms::owner_read | fs::perms::group_read);
    fs::last_write_time(source, fs::last_write_time(source) - std::chrono::hours(240));
    std::atomic<bool> stop{false};

    std::vector<int> seen;
    CopyPlan plan = planCopy(source.string(), (dir.path() / "backup" / "deep").string());
    ASSERT_EQ(plan.refusal, "");
    EXPECT_FALSE(plan.replaces);
    EXPECT_EQ(copyForBackup(plan, stop, [&](int p) { seen.push_back(p); }), "");
    EXPECT_EQ(fs::file_size(plan.destination), fs::file_size(source));
    EXPECT_EQ(fs::status(plan.destination).permissions(), fs::status(source).permissions());
    EXPECT_EQ(fs::last_write_time(plan.destination), fs::last_write_time(source));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(planCopy(source.string(), (dir.path() / "backup" / "deep").string()).replaces);

    // The original itself, reached through another name, and an empty folder are refused.
    fs::create_directory_symlink(dir.path(), dir.path() / "same");
    EXPECT_NE(planCopy(source.string(), (dir.path() / "same").string()).refusal, "");
    EXPECT_NE(planCopy(source.string(), "").refusal, "");
    EXPECT_NE(planCopy(source.string(), "/" + std::string(5000, 'x')).refusal, "");
    EXPECT_EQ(fs::file_size(source), 9u << 20);

    // Stopped: nothing is left behind.
    stop = true;
    CopyPlan fresh = planCopy(source.string(), (dir.path() / "stopped").string());
    EXPECT_EQ(copyForBackup(fresh, stop, {}), "Canceled by user");
    EXPECT_TRUE(fs::is_empty(dir.path() / "stopped"));
}

TEST(BackupCopyTest, AFullDiskLeavesNoDestination) {
    test::TempDir dir;
    const fs::path source = dir.path() / "mail.pst";
    std::ofstream(source) << std::string(6 << 20, 'm');
    const fs::path target = dir.path() / "full";
    // In a child, so that the file-size limit stays there.
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::atomic<bool> stop{false};
        const std::string why = copyForBackup(planCopy(source.string(), target.string()), stop, {});
        ::_exit(why.empty() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the copy claimed success";
    EXPECT_TRUE(fs::is_empty(target));
}

}  // namespace
}  // namespace brevik::app
