#include "cli/batch_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>
#include <unordered_set>

#include "cli/commands.h"
#include "cli/export_command.h"
#include "cli/json_writer.h"
#include "cli/recovery_view.h"
#include "engine/native_files.h"

namespace brevik::cli {
namespace fs = std::filesystem;
namespace {

std::uint64_t fnv1a(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text)
        h = (h ^ c) * 0x100000001b3ull;
    return h;
}

// Writes through `write` into a working file beside `path` and renames it into place once the
// stream is good, so a folder never holds half a result.
bool writeWhole(const fs::path& path, const std::function<void(std::ostream&)>& write,
                std::ostream& messages) {
    fs::path working = path;
    working += ".part";
    {
        std::ofstream out(working, std::ios::binary | std::ios::trunc);
        if (out) write(out);
        out.flush();
        if (!out) {
            messages << "brevik-cli: cannot write '" << native::utf8FromPath(path) << "'\n";
            std::error_code ec;
            fs::remove(working, ec);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(working, path, ec);
    if (ec)
        messages << "brevik-cli: cannot write '" << native::utf8FromPath(path)
                 << "': " << ec.message() << "\n";
    return !ec;
}

struct Job {
    const std::string* file;
    fs::path folder;
};

// Writes the listing, the report and the export of a recovered file into its folder; returns
// the verdict and sets the exit status.
std::string saveResults(RecoveredBase& base, const Job& job, const BatchOptions& options,
                        std::ostream& messages, int& status) {
    const ListOptions list{.file = *job.file, .json = true};
    const ReportOptions report{.file = *job.file, .json = true};
    bool written = writeWhole(
                       job.folder / "listing.json",
                       [&](std::ostream& out) { writeListing(base, list, out); }, messages) &&
                   writeWhole(
                       job.folder / "report.json",
                       [&](std::ostream& out) { writeReport(base, report, out); }, messages);
    status = exitStatus(base);
    if (written && !options.format.empty()) {
        ExportOptions exp;
        exp.file = *job.file;
        exp.format = options.format;
        exp.outFolder = native::utf8FromPath(job.folder / "export");
        std::error_code ec;
        fs::create_directories(native::pathFromUtf8(exp.outFolder), ec);
        written = exportRecovered(base, exp, messages, messages) != 1;
    }
    if (!written) {
        status = 1;
        return "failed";
    }
    return verdictName(base.damage);
}

// Recovers one file into its folder; returns its JSON line and sets its exit status.
std::string runJob(const Job& job, const BatchOptions& options, unsigned threads, int& status) {
    const auto start = std::chrono::steady_clock::now();
    std::ostringstream messages;  // what the job would have said on stderr
    RecoveredBase base;
    std::string verdict = "failed";
    status = 1;
    bool recovered = false;  // the base holds a finished recovery
    std::error_code folderError;
    fs::create_directories(job.folder, folderError);
    try {
        if (folderError) {
            messages << "brevik-cli: cannot create '" << native::utf8FromPath(job.folder)
                     << "': " << folderError.message() << "\n";
        } else if (recoverWithProgress(base, *job.file, messages, threads)) {
            recovered = true;
            verdict = saveResults(base, job, options, messages, status);
        }
    } catch (const std::exception& e) {
        // Whatever a damaged file leads to ends this file's job, not the batch.
        messages << "brevik-cli: internal error: " << e.what() << "\n";
        status = 1;
        verdict = "failed";
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (interruptFlag()) {
        verdict = "canceled";
        status = 1;
    }
    const ShownItemCounts counts = recovered ? countShownItems(base, false) : ShownItemCounts{};
    std::ostringstream line;
    {
        JsonWriter w(line, JsonWriter::Layout::Compact);
        w.beginObject();
        w.field("file", *job.file);
        w.field("folder", job.folder.string());
        w.field("verdict", verdict);
        w.field("dataLost", recovered && base.damage.dataLost());
        w.field("status", status);
        w.field("folders", recovered ? base.folderCount : 0);
        w.field("items", counts.items);
        w.field("deleted", counts.deleted);
        w.field("milliseconds",
                std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
        w.field("messages", messages.str());
        w.endObject();
    }
    const std::string text = line.str();
    // The folder keeps its own line, so results of many hosts merge with cat.
    if (!folderError &&
        !writeWhole(
            job.folder / "result.json", [&](std::ostream& out) { out << text; }, messages))
        status = 1;
    return text;
}

}  // namespace

std::string batchFolderName(const std::string& file) {
    const fs::path path = native::pathFromUtf8(file);
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    char hash[17];
    std::snprintf(hash, sizeof hash, "%08x",
                  static_cast<unsigned>(fnv1a(native::utf8FromPath(ec ? path : absolute)) >> 32));
    return native::utf8FromPath(path.stem()) + "-" + hash;
}

int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err) {
    if (options.outFolder.empty()) {
        err << "brevik-cli: no output folder given (--out DIR)\n";
        return 2;
    }
    if (const std::string why = formatNotBuilt(options.format); !why.empty()) {
        err << why << "\n";
        return 2;
    }
    installInterruptHandler();
    // The same file named twice is recovered once.
    std::vector<Job> jobs;
    std::unordered_set<std::string> seen;
    for (const std::string& file : options.files) {
        std::string name = batchFolderName(file);
        if (seen.insert(name).second)
            jobs.push_back(
                {&file, native::pathFromUtf8(options.outFolder) / native::pathFromUtf8(name)});
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned workers = std::clamp<unsigned>(options.jobs ? options.jobs : cores, 1,
                                                  static_cast<unsigned>(jobs.size()));
    // The cores are shared among the files running at once.
    const unsigned threads = options.threads ? options.threads : std::max(1u, cores / workers);

    std::mutex lock;  // guards `out` and `worst`
    int worst = 0;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t k; !interruptFlag() && (k = next++) < jobs.size();) {
            int status = 0;
            const std::string line = runJob(jobs[k], options, threads, status);
            const std::scoped_lock guard(lock);
            out << line << std::flush;
            if (status == 1 || (status == kExitDataLost && worst == 0)) worst = status;
        }
    };
    std::vector<std::thread> pool;
    for (unsigned k = 1; k < workers; ++k)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    if (interruptFlag()) {
        err << "Canceled by user\n";
        return 1;
    }
    return worst;
}

}  // namespace brevik::cli
