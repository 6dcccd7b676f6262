#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "support/cli_run.h"
#include "support/corpus.h"

namespace brevik {
namespace {

namespace fs = std::filesystem;

using test::CliRun;
CliRun run(std::vector<std::string> args) {
    return test::runCli(std::move(args));
}

class InfoBadInput : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("brevik-info-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_ / "locked.pst", fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    std::string write(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void expectCleanFailure(const std::string& path) {
        const std::string before = fs::is_regular_file(path) ? slurp(path) : "";
        const CliRun r = run({"info", path});
        EXPECT_NE(r.status, 0) << path;
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(slurp(path), before);
        }
    }
    fs::path dir_;
};

TEST_F(InfoBadInput, UnreadableInputsFailWithTheFileNamed) {
    expectCleanFailure((dir_ / "missing.pst").string());
    expectCleanFailure(dir_.string());
    expectCleanFailure(write("empty.pst", ""));
    expectCleanFailure(write("one.pst", "!"));
    std::mt19937 rng(7);
    std::string noise(600, '\0');
    for (auto& c : noise)
        c = static_cast<char>(rng());
    expectCleanFailure(write("noise.pst", noise));
}

TEST_F(InfoBadInput, FileWithoutReadPermission) {
    const std::string path = write("locked.pst", std::string(2048, 'x'));
    fs::permissions(path, fs::perms::none);
    if (::geteuid() != 0) {
        const CliRun r = run({"info", path});
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
        return;
    }
    // Root reads anything: run the tool as an unprivileged user instead.
    if (!fs::exists("/usr/bin/setpriv") || !fs::exists(BREVIK_CLI_PATH))
        GTEST_SKIP() << "running as root without setpriv or the built tool";
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    const std::string cmd = "/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups " +
                            std::string(BREVIK_CLI_PATH) + " info '" + path + "' 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        text += buf;
    const int status = ::pclose(p);
    EXPECT_NE(status, 0);
    EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
    EXPECT_NE(text.find(path), std::string::npos) << text;
}

// A FIFO would block the open until someone writes to it: every command refuses it unopened.
TEST_F(InfoBadInput, FifoIsRefusedByEveryCommand) {
    const std::string fifo = (dir_ / "pipe.pst").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should a command open it anyway, a writer that comes and goes ends the wait.
    std::atomic<bool> done{false};
    std::thread release([&] {
        for (int tick = 0; !done; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (tick < 30) continue;
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
    });
    const std::vector<std::vector<std::string>> commands = {
        {"info", fifo},
        {"list", fifo},
        {"show", fifo, "1"},
        {"export", fifo, "--out", (dir_ / "out").string()}};
    for (const auto& args : commands) {
        const CliRun r = run(args);
        EXPECT_NE(r.status, 0) << args[0];
        EXPECT_NE(r.err.find("'" + fifo + "': is a FIFO"), std::string::npos) << r.err;
    }
    done = true;
    release.join();
}

// Names and texts that are not UTF-8 reach JSON as U+FFFD instead of ending the command.
TEST_F(InfoBadInput, InvalidUtf8InAFileNamePrintsAsReplacementCharacters) {
    const std::string path = (dir_ / "bad\xff.pst").string();
    ASSERT_EQ(run({"generate", path, "--items", "2"}).status, 0);
    for (const char* command : {"info", "list"}) {
        const CliRun r = run({command, "--json", path});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto j = nlohmann::json::parse(r.out);
        const auto& file = j.is_array() ? j[0]["file"] : j["file"];
        EXPECT_NE(file.get<std::string>().find("bad\xEF\xBF\xBD.pst"), std::string::npos);
    }
}

TEST(InfoCorpus, ReportsTheLayoutOfEverySample) {
    BREVIK_REQUIRE_CORPUS();
    std::vector<std::string> args{"info", "--json"};
    for (const auto& f : test::corpusPstFiles())
        args.push_back(f);
    const CliRun r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.size(), 13u);
    for (const auto& file : j) {
        const std::string name = fs::path(file["file"].get<std::string>()).filename().string();
        const bool ansi = name == "sample2.pst" || name == "test_ansi.pst";
        EXPECT_EQ(file["layout"], ansi ? "ANSI" : "Unicode") << name;
        EXPECT_EQ(file["cryptMethod"], "permute") << name;
        EXPECT_GT(file["nodeCount"].get<int>(), 0) << name;
        EXPECT_LE(file["leafNodePagesReachable"].get<int>(), file["leafNodePages"].get<int>());
    }
}

TEST(InfoCorpus, TextOutputNamesLayoutAndCounts) {
    BREVIK_REQUIRE_CORPUS();
    const CliRun r = run({"info", test::corpusPath("pst/sample2.pst")});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("ANSI (format code 15)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("crypt method:        permute"), std::string::npos);
}

}  // namespace
}  // namespace brevik
