#include "cli/export_command.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <ostream>
#include <unordered_map>

#include "cli/recovery_view.h"
#include "cli/terminal_text.h"
#include "engine/native_files.h"
#include "recovery/recovered_base.h"
#include "writers/files/save_files.h"
#include "writers/pst/sample_generator.h"
#include "writers/pst/save_task.h"

namespace brevik::cli {

int runGenerate(const GenerateOptions& options, std::ostream& out, std::ostream& err) {
    if (options.out.empty()) {
        err << "generate: no output file given\n";
        return 2;
    }
    pst::SampleOptions sample;
    sample.items = options.items;
    sample.deleted = options.deleted;
    sample.orphans = options.orphans;
    sample.seed = options.seed;
    sample.hostileTexts = options.hostile;
    sample.pages4k = options.pages4k;
    pst::PstWriteStats stats;
    const pst::WriteStatus status = pst::generateSamplePst(options.out, sample, &stats);
    if (!status.ok()) {
        err << "generate: " << status.message << "\n";
        return 1;
    }
    out << "Wrote " << options.out << ": " << stats.items << " items, " << stats.deletedItems
        << " deleted, " << stats.orphanItems << " orphaned, " << stats.fileSize << " bytes\n";
    return 0;
}

namespace {

// Regular files in `folder` and below; 0 when there is no such folder.
std::uint64_t filesUnder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = native::pathFromUtf8(folder);
    if (folder.empty() || !fs::is_directory(root, ec)) return 0;
    std::uint64_t n = 0;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        n += it->is_regular_file(ec);
    return n;
}

// Prints the outcome of a save; false when it failed or was stopped.
bool reportSave(const std::string& file, bool ok, bool canceled, const std::string& message,
                std::uint64_t items, std::uint64_t unreadableItems, const std::string& outputPath,
                std::ostream& out, std::ostream& err) {
    if (canceled) {
        err << "Canceled by user\n";
        // Files finished before the stop stay: say how many and where, so none go unnoticed.
        if (const std::uint64_t kept = filesUnder(outputPath); kept > 0)
            err << "brevik-cli: " << kept << " files written before the stop remain in "
                << terminalLine(outputPath) << "\n";
        return false;
    }
    if (!ok) {
        err << "brevik-cli: cannot save '" << terminalLine(file) << "': " << terminalLine(message)
            << "\n";
        return false;
    }
    out << "Saved " << items << " items to " << terminalLine(outputPath) << "\n";
    if (unreadableItems) err << "brevik-cli: " << unreadableItems << " items could not be read\n";
    return true;
}

// Saves as separate .msg, .eml or mbox files, with progress and Ctrl-C.
int exportFiles(RecoveredBase& base, files::FileFormat format, const ExportOptions& options,
                const std::vector<std::uint32_t>* selection, std::ostream& out, std::ostream& err) {
    std::atomic<int> percent{0};
    files::FileSaveResult result;
    // Ctrl-C and SIGTERM stop the save; finished files stay, the one being written goes.
    runWithProgress(
        [&] {
            result = files::saveFiles(base, format, options.outFolder, selection, interruptFlag(),
                                      [&](int p) { percent = p; });
        },
        [&] { return percent.load(); }, err);
    if (!reportSave(options.file, result.ok, result.canceled, result.message, result.items,
                    result.unreadableItems, result.outputPath, out, err))
        return 1;
    if (result.notMail) {
        if (format == files::FileFormat::Vcf || format == files::FileFormat::Ics)
            out << "Left out " << result.notMail << " items that are not "
                << (format == files::FileFormat::Vcf ? "contacts or distribution lists"
                                                     : "appointments, tasks or journal entries")
                << "\n";
        else
            out << "Left out " << result.notMail << " items that are not mail (" << options.format
                << " holds mail only)\n";
    }
    return exitStatus(base);
}

const std::unordered_map<std::string, files::FileFormat> kFileFormats = {
    {"msg", files::FileFormat::Msg},
    {"eml", files::FileFormat::Eml},
    {"mbox", files::FileFormat::Mbox},
    {"vcf", files::FileFormat::Vcf},
    {"ics", files::FileFormat::Ics}};
}  // namespace

const std::vector<std::string>& knownExportFormats() {
    static const std::vector<std::string> all = {"pst", "msg", "eml", "mbox", "vcf", "ics"};
    return all;
}

std::vector<std::string> builtExportFormats() {
    std::vector<std::string> out;
    for (const std::string& f : knownExportFormats())
        if (f == "pst" || files::formatAvailable(kFileFormats.at(f))) out.push_back(f);
    return out;
}

namespace {
std::string builtFormatList() {
    std::string built;
    for (const std::string& f : builtExportFormats())
        built += (built.empty() ? "" : ", ") + f;
    return built;
}
}  // namespace

std::string builtFormatNames() {
    const std::vector<std::string> built = builtExportFormats();
    std::string text;
    for (std::size_t i = 0; i < built.size(); ++i) {
        if (i > 0) text += i + 1 == built.size() ? " or " : ", ";
        text += built[i] == "mbox" ? built[i] : "." + built[i];
    }
    return text;
}

std::string formatNotBuilt(const std::string& format) {
    const auto fileFormat = kFileFormats.find(format);
    if (format == "pst" || fileFormat == kFileFormats.end() ||
        files::formatAvailable(fileFormat->second))
        return {};
    return "brevik-cli: export format '" + format + "' is not available in this build (it writes " +
           builtFormatList() + ")";
}

int runExport(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    const auto fileFormat = kFileFormats.find(options.format);
    if (options.format != "pst" && fileFormat == kFileFormats.end()) {
        err << "brevik-cli: unknown export format '" << options.format
            << "' (supported: " << builtFormatList() << ")\n";
        return 2;
    }
    if (const std::string why = formatNotBuilt(options.format); !why.empty()) {
        err << why << "\n";
        return 2;
    }
    if (options.outFolder.empty()) {
        err << "brevik-cli: no output folder given (--out DIR)\n";
        return 2;
    }
    RecoveredBase base;
    if (!recoverWithProgress(base, options.file, err, options.threads)) return 1;
    return exportRecovered(base, options, out, err);
}

int exportRecovered(RecoveredBase& base, const ExportOptions& options, std::ostream& out,
                    std::ostream& err) {
    const auto fileFormat = kFileFormats.find(options.format);
    // --items takes the running numbers that `list` shows.
    std::optional<std::vector<std::uint32_t>> selection;
    if (!options.items.empty()) {
        selection = selectItems(base, options.items, options.file, err);
        if (!selection) return 1;
    }
    if (fileFormat != kFileFormats.end())
        return exportFiles(base, fileFormat->second, options, selection ? &*selection : nullptr,
                           out, err);
    // Ctrl-C and SIGTERM stop the save too; its working file goes with it.
    const pst::SaveTaskResult result = pst::savePst(
        base, options.outFolder, selection ? &*selection : nullptr, interruptFlag(), nullptr);
    if (!reportSave(options.file, result.ok, result.canceled, result.message, result.items,
                    result.unreadableItems, result.outputPath, out, err))
        return 1;
    if (result.droppedValues)
        err << "brevik-cli: " << result.droppedValues
            << " property values could not be carried over (unreadable or invalid)\n";
    return exitStatus(base);
}

}  // namespace brevik::cli
