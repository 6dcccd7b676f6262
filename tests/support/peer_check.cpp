#include "support/peer_check.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/peer_tools.h"

namespace brevik::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

::testing::AssertionResult peersReadWrittenFile(const std::string& written,
                                                const std::string& source,
                                                std::optional<std::size_t> items) {
    TempDir dir;
    const fs::path log = dir.path() / "log";
    if (haveTool("pffinfo")) {
        const int status = runTool({"pffinfo", written}, log);
        const std::string text = slurp(log);
        if (status != 0 || text.find("Unable") != std::string::npos)
            return ::testing::AssertionFailure() << "pffinfo refuses " << written << ":\n" << text;
    }
    if (haveTool("pffexport")) {
        const fs::path target = dir.path() / "pff";
        const fs::path exportLog = dir.path() / "export.log";
        const int status = runTool({"pffexport", "-q", "-m", "all", "-l", exportLog.string(), "-t",
                                    target.string(), written},
                                   log);
        const std::string text = slurp(log);
        if (status != 0 || text.find("Unable") != std::string::npos)
            return ::testing::AssertionFailure()
                   << "pffexport fails on " << written << " (status " << status << "):\n"
                   << text;
        const std::size_t found = readPffExport(target, exportLog).size();
        if (items && found != *items)
            return ::testing::AssertionFailure()
                   << "pffexport finds " << found << " items in " << written << ", not " << *items;
    }
    if (haveTool("readpst") && !source.empty()) {
        const fs::path a = dir.path() / "source", b = dir.path() / "written";
        fs::create_directories(a);
        fs::create_directories(b);
        if (runTool({"readpst", "-q", "-o", a.string(), source}, dir.path() / "a.log") == 0) {
            const int status = runTool({"readpst", "-q", "-o", b.string(), written}, log);
            if (status != 0)
                return ::testing::AssertionFailure()
                       << "readpst reads " << source << " but fails on " << written << " (status "
                       << status << "):\n"
                       << slurp(log);
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace brevik::test
