// What a hostile file holds must reach neither the terminal nor the headers of an exported
// message as it is: escapes, forged lines, injected headers and names that read backwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/cli_run.h"
#include "support/peer_tools.h"
#include "writers/pst/sample_generator.h"

namespace brevik {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRightToLeftOverride = "\xE2\x80\xAE";

std::string hostileFile(const test::TempDir& dir) {
    const std::string path = (dir.path() / "hostile.pst").string();
    pst::SampleOptions options;
    options.items = 12;
    options.deleted = 2;
    options.hostileTexts = true;
    EXPECT_TRUE(pst::generateSamplePst(path, options).ok());
    return path;
}

bool printable(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n') return false;
    return text.find(kRightToLeftOverride) == std::string_view::npos;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The header block of a message, unfolded into its lines.
std::string headers(const std::string& message) {
    std::size_t end = message.find("\n\n");
    if (const std::size_t crlf = message.find("\r\n\r\n"); crlf < end) end = crlf;
    return message.substr(0, end);
}

TEST(HostileText, TerminalOutputShowsControlsEscaped) {
    test::TempDir dir;
    const std::string file = hostileFile(dir);
    const test::CliRun list = test::runCli({"list", file});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE(printable(list.out)) << list.out;
    EXPECT_NE(list.out.find("Invoice\\e]0;owned\\x07\\x0D\\x0AForged: line #"), std::string::npos);
    EXPECT_NE(list.out.find("Projects\\e]0;owned\\x07 \\u202Etxt.exe"), std::string::npos);
    EXPECT_EQ(list.out.find("\nForged"), std::string::npos);

    const test::CliRun show = test::runCli({"show", file, "1"});
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_TRUE(printable(show.out)) << show.out;
    EXPECT_NE(show.out.find("Mallory \\u202Efdp.exe"), std::string::npos) << show.out;

    // JSON keeps the texts, escaped by JSON's own rules.
    const test::CliRun json = test::runCli({"show", "--json", file, "1"});
    EXPECT_NE(json.out.find("\\u001b]0;owned\\u0007\\r\\nForged"), std::string::npos) << json.out;
}

TEST(HostileText, ExportedHeadersCarryNoInjectedLinesAndNamesReadAsTheyAre) {
    test::TempDir dir;
    const std::string file = hostileFile(dir);
    for (const char* format : {"eml", "mbox", "msg"}) {
        const fs::path out = dir.path() / format;
        const test::CliRun run =
            test::runCli({"export", file, "--format", format, "--out", out.string()});
        ASSERT_EQ(run.status, 0) << run.err;
        std::size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(printable(name)) << name;
            if (!entry.is_regular_file()) continue;
            ++files;
            const std::string bytes = readFile(entry.path());
            if (std::string_view(format) == "msg") {
                // UTF-16 property values: the injected header names must not be among them.
                for (std::string_view injected : {"Bcc: victim", "X-Evil", "X-Cid", "X-Injected"}) {
                    std::string wide;
                    for (char c : injected)
                        wide += std::string{c, '\0'};
                    EXPECT_EQ(bytes.find(wide), std::string::npos) << name << " " << injected;
                }
                continue;
            }
            std::istringstream lines(bytes);
            for (std::string line; std::getline(lines, line);)
                for (std::string_view injected :
                     {"Bcc:", "X-Evil", "X-Cid", "X-Injected", "Forged"})
                    EXPECT_FALSE(line.starts_with(injected)) << name << ": " << line;
            EXPECT_EQ(bytes.find("Content-Type: text/plain\r\nX-Evil"), std::string::npos);
            EXPECT_EQ(headers(bytes).find('\x1b'), std::string::npos) << name;
        }
        EXPECT_GT(files, 0u) << format;
    }
}

TEST(HostileText, ArgumentErrorsExitWithTwoAndHelpWithZero) {
    test::TempDir dir;
    const std::string file = hostileFile(dir);
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"show", file, "-1"},
        {"show", file, "0"},
        {"show", file, "99999999"},
        {"export", file, "--format", "docx", "--out", dir.path().string()},
        {"list", "--threads", "0", file},
        {"batch", "--jobs", "0", "--out", dir.path().string(), file}};
    for (const auto& args : bad) {
        const test::CliRun r = test::runCli(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "(none)" : args[0]) << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(test::runCli({"--help"}).status, 0);
    const test::CliRun version = test::runCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("brevik-cli "), std::string::npos) << version.out;
}

}  // namespace
}  // namespace brevik
