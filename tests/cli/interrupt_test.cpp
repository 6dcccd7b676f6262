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
#include "test_paths.h"

namespace brevik {
namespace {

namespace fs = std::filesystem;

// Ctrl-C during a recovery stops it through the stop flag: a clear message, a failing status.
TEST(Interrupt, CtrlCStopsARecoveryWithCanceledByUser) {
    if (!fs::exists(BREVIK_CLI_PATH)) GTEST_SKIP() << "brevik-cli not built";
    const fs::path dir = fs::temp_directory_path() / ("brevik-int-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string sample = (dir / "big.pst").string();
    ASSERT_EQ(test::runCli({"generate", sample, "--items", "30000"}).status, 0);

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[0]);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, STDOUT_FILENO);
        ::execl(BREVIK_CLI_PATH, "brevik-cli", "list", sample.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::kill(pid, SIGINT);
    std::string err;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        err.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    fs::remove_all(dir);
    ASSERT_TRUE(WIFEXITED(status)) << "the tool died of a signal instead of stopping";
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(err.find("Canceled by user"), std::string::npos) << err;
}

}  // namespace
}  // namespace brevik
