#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/cli_run.h"
#include "support/peer_tools.h"
#include "test_paths.h"

namespace brevik {
namespace {

namespace fs = std::filesystem;

// The built tool running in a child, its stderr read through a pipe and its temporary folder
// set to `tmpdir`.
struct Child {
    pid_t pid = -1;
    int errFd = -1;

    Child(const std::vector<std::string>& args, const fs::path& tmpdir) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], STDERR_FILENO);
            ::close(fds[0]);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, STDOUT_FILENO);
            ::setenv("TMPDIR", tmpdir.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>("brevik-cli")};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(BREVIK_CLI_PATH, argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        errFd = fds[0];
    }
    // Waits for the end; returns what it wrote to stderr and sets `status`.
    std::string finish(int& status) {
        std::string err;
        char buf[256];
        for (ssize_t n; (n = ::read(errFd, buf, sizeof buf)) > 0;)
            err.append(buf, static_cast<std::size_t>(n));
        ::close(errFd);
        ::waitpid(pid, &status, 0);
        return err;
    }
};

// Waits (up to a minute) until `pid` catches `signal`: sent earlier, it would end the process
// before the tool has set up its handler, which a slow (sanitized, loaded) start makes likely.
bool waitForHandler(pid_t pid, int signal) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
        // Until the exec the child is a copy of this test, with any handler an in-process run
        // installed here: only the tool's own counts.
        bool tool = false;
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Name:", 0) == 0) tool = line.find("brevik-cli") != std::string::npos;
            if (tool && line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

bool anyFileIn(const fs::path& dir) {
    std::error_code ec;
    return fs::exists(dir, ec) && !fs::is_empty(dir, ec);
}

// Ctrl-C during a recovery stops it through the stop flag: a clear message, a failing status.
TEST(Interrupt, CtrlCStopsARecoveryWithCanceledByUser) {
    if (!fs::exists(BREVIK_CLI_PATH)) GTEST_SKIP() << "brevik-cli not built";
    test::TempDir dir;
    const std::string sample = (dir.path() / "big.pst").string();
    ASSERT_EQ(test::runCli({"generate", sample, "--items", "30000"}).status, 0);

    Child child({"list", sample}, dir.path());
    ASSERT_GT(child.pid, 0);
    EXPECT_TRUE(waitForHandler(child.pid, SIGINT));
    ::kill(child.pid, SIGINT);
    int status = 0;
    const std::string err = child.finish(status);
    ASSERT_TRUE(WIFEXITED(status)) << "the tool died of a signal instead of stopping";
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(err.find("Canceled by user"), std::string::npos) << err;
}

// Ctrl-C or SIGTERM while an export writes: it stops, its working file (kept beside the
// destination, never in the temporary folder) goes, and the status says it failed.
TEST(Interrupt, CtrlCAndSigtermStopAnExportAndLeaveNothing) {
    if (!fs::exists(BREVIK_CLI_PATH)) GTEST_SKIP() << "brevik-cli not built";
    test::TempDir dir;
    const std::string sample = (dir.path() / "big.pst").string();
    ASSERT_EQ(test::runCli({"generate", sample, "--items", "3000"}).status, 0);
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path out = dir.path() / "out", tmp = dir.path() / "tmp";
        fs::create_directories(out);
        fs::create_directories(tmp);
        Child child({"export", sample, "--out", out.string()}, tmp);
        ASSERT_GT(child.pid, 0);
        const auto start = std::chrono::steady_clock::now();
        while (!anyFileIn(out) &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(anyFileIn(out)) << "no working file beside the destination";
        ::kill(child.pid, signal);
        int status = 0;
        const std::string err = child.finish(status);
        ASSERT_TRUE(WIFEXITED(status)) << "the tool died of the signal instead of stopping";
        EXPECT_NE(WEXITSTATUS(status), 0);
        EXPECT_NE(err.find("Canceled by user"), std::string::npos) << err;
        EXPECT_FALSE(anyFileIn(out));
        EXPECT_FALSE(anyFileIn(tmp));
        fs::remove_all(out);
        fs::remove_all(tmp);
    }
    // Separate files finished before the stop stay, and the tool says how many and where.
    const fs::path out = dir.path() / "eml";
    Child child({"export", sample, "--format", "eml", "--out", out.string()}, dir.path());
    ASSERT_GT(child.pid, 0);
    auto files = [&] {
        std::size_t n = 0;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec))
            n += it->is_regular_file(ec);
        return n;
    };
    const auto start = std::chrono::steady_clock::now();
    while (files() < 20 && std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(child.pid, SIGINT);
    int status = 0;
    const std::string err = child.finish(status);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(err.find(std::to_string(files()) + " files written before the stop remain in " +
                       (out / "Recovered_big_as_eml_by_Brevik").string()),
              std::string::npos)
        << err;
}

}  // namespace
}  // namespace brevik
