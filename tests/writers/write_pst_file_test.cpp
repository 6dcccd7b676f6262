// A save either leaves a complete file at its destination or nothing at all.
#include "writers/pst/write_pst_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32  // a child process with a file-size limit, and /dev/shm
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "writer_test_util.h"
#include "writers/pst/atomic_output.h"
#include "writers/pst/sample_generator.h"

namespace brevik::pst {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

// Files in `dir` whose names begin with "_": working files left behind.
std::size_t workingFiles(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += e.path().filename().string().rfind('_', 0) == 0;
    return n;
}

struct Folders {
    ScratchDir root;
    std::string temp = root.file("temp");
    std::string out = root.file("out");
};

TEST(WritePstFile, WritesIntoANewFolderAndLeavesNoWorkingFile) {
    Folders f;
    SampleOptions options;
    options.items = 5;
    options.tempFolder = f.temp;
    const std::string dest = f.out + "/nested/Mail_recovered_by_Brevik.pst";
    PstWriteStats stats;
    ASSERT_TRUE(generateSamplePst(dest, options, &stats).ok());
    EXPECT_EQ(fs::file_size(dest), stats.fileSize);
    EXPECT_EQ(stats.items, 5u);
    EXPECT_EQ(workingFiles(f.temp), 0u);
    EXPECT_EQ(test::countFiles(f.out), 1u);
}

TEST(WritePstFile, DestinationThatCannotBeCreatedFailsBeforeWriting) {
    Folders f;
    fs::create_directories(f.out);
    std::ofstream(f.out + "/blocker") << "a file where a folder should go";
    SampleOptions options;
    options.tempFolder = f.temp;
    const WriteStatus status = generateSamplePst(f.out + "/blocker/sub/x.pst", options);
    EXPECT_EQ(status.error, WriteError::CannotCreate);
    EXPECT_NE(status.message.find("blocker"), std::string::npos) << status.message;
    EXPECT_EQ(test::countFiles(f.out), 1u);
    EXPECT_FALSE(fs::exists(f.temp) && workingFiles(f.temp) > 0);
}

TEST(WritePstFile, SizeLimitStopsTheWriteAndRemovesTheWorkingFile) {
    Folders f;
    SampleOptions options;
    options.items = 200;
    options.maxFileBytes = 400000;
    options.tempFolder = f.temp;
    const WriteStatus status = generateSamplePst(f.out + "/x.pst", options);
    EXPECT_EQ(status.error, WriteError::TooLarge) << status.message;
    EXPECT_FALSE(fs::exists(f.out + "/x.pst"));
    EXPECT_EQ(workingFiles(f.temp), 0u);
}

#ifndef _WIN32
TEST(WritePstFile, FullDiskIsReportedAsSuchAndLeavesNothing) {
    // The process file-size limit stands in for a full device: writes fail with EFBIG.
    Folders f;
    fs::create_directories(f.out);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{300000, 300000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        SampleOptions options;
        options.items = 300;
        options.tempFolder = f.temp;
        const WriteStatus status = generateSamplePst(f.out + "/x.pst", options);
        ::_exit(static_cast<int>(status.error));
    }
    int wstatus = 0;
    ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), static_cast<int>(WriteError::DiskFull));
    EXPECT_FALSE(fs::exists(f.out + "/x.pst"));
    EXPECT_EQ(workingFiles(f.temp), 0u);
}
#endif

TEST(WritePstFile, StopHalfWayLeavesNothing) {
    Folders f;
    std::atomic<bool> stop{false};
    SampleOptions options;
    options.items = 100;
    options.tempFolder = f.temp;
    options.stop = &stop;
    int lastPercent = 0;
    options.progress = [&](int percent) {
        lastPercent = percent;
        if (percent >= 50) stop = true;
    };
    const WriteStatus status = generateSamplePst(f.out + "/x.pst", options);
    EXPECT_EQ(status.error, WriteError::Stopped);
    EXPECT_EQ(lastPercent, 50);
    EXPECT_FALSE(fs::exists(f.out + "/x.pst"));
    EXPECT_EQ(workingFiles(f.temp), 0u);
}

TEST(AtomicOutput, UncommittedWorkIsDiscardedAndCommitReplacesAnOldFile) {
    Folders f;
    fs::create_directories(f.out);
    std::ofstream(f.out + "/x.pst") << "old";
    {
        AtomicOutput out(f.out + "/x.pst", f.temp);
        ASSERT_TRUE(out.prepare().ok());
        EXPECT_EQ(fs::path(out.workingPath()).filename().string()[0], '_');
        std::ofstream(out.workingPath()) << "half";
    }
    EXPECT_EQ(workingFiles(f.temp), 0u);
    EXPECT_EQ(test::readFile(f.out + "/x.pst"), Bytes({'o', 'l', 'd'}));
    AtomicOutput out(f.out + "/x.pst", f.temp);
    ASSERT_TRUE(out.prepare().ok());
    std::ofstream(out.workingPath()) << "new";
    ASSERT_TRUE(out.commit().ok());
    EXPECT_EQ(test::readFile(f.out + "/x.pst"), Bytes({'n', 'e', 'w'}));
    EXPECT_EQ(workingFiles(f.temp), 0u);
}

#ifndef _WIN32
TEST(AtomicOutput, CommitAcrossDevicesCopiesThenRenames) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    Folders f;
    fs::create_directories(f.out);
    char pattern[] = "/dev/shm/brevik-writer-XXXXXX";
    if (!::mkdtemp(pattern)) GTEST_SKIP() << "cannot use /dev/shm";
    const std::string temp = pattern;
    {
        AtomicOutput out(f.out + "/x.pst", temp);
        ASSERT_TRUE(out.prepare().ok());
        std::ofstream(out.workingPath()) << "moved";
        EXPECT_TRUE(out.commit().ok());
    }
    EXPECT_EQ(test::readFile(f.out + "/x.pst"), Bytes({'m', 'o', 'v', 'e', 'd'}));
    EXPECT_EQ(workingFiles(temp), 0u);
    EXPECT_EQ(workingFiles(f.out), 0u);
    fs::remove_all(temp);
}
#endif

}  // namespace
}  // namespace brevik::pst
