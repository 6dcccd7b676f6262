#include "cli/export_command.h"

#include <atomic>
#include <ostream>
#include <unordered_set>

#include "cli/recovery_view.h"
#include "engine/message_base.h"
#include "message/item_summary.h"
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

int runExport(const ExportOptions& options, std::ostream& out, std::ostream& err) {
    if (options.format != "pst") {
        err << "brevik-cli: unknown export format '" << options.format << "' (supported: pst)\n";
        return 2;
    }
    if (options.outFolder.empty()) {
        err << "brevik-cli: no output folder given (--out DIR)\n";
        return 2;
    }
    MessageBase base;
    if (!recoverWithProgress(base, options.file, err)) return 1;

    // --items takes the running numbers that `list` shows.
    std::vector<std::uint32_t> selection;
    if (!options.items.empty()) {
        std::unordered_set<std::uint32_t> wanted(options.items.begin(), options.items.end());
        std::unordered_set<std::uint32_t> found;
        for (std::uint32_t i = 0; i < base.itemCount && i < base.itemSummaries.size(); ++i) {
            const std::uint32_t number = base.itemSummaries[i].number;
            if (wanted.count(number) && !base.messageEntries[i].loadFailed &&
                found.insert(number).second)
                selection.push_back(i);
        }
        for (std::uint32_t n : options.items)
            if (!found.count(n)) {
                err << "brevik-cli: '" << options.file << "' has no item number " << n << "\n";
                return 1;
            }
    }
    const std::atomic<bool> stop{false};
    const pst::SaveTaskResult result = pst::savePst(
        base, options.outFolder, options.items.empty() ? nullptr : &selection, stop, nullptr);
    if (!result.ok) {
        err << "brevik-cli: cannot save '" << options.file << "': " << result.message << "\n";
        return 1;
    }
    out << "Saved " << result.items << " items to " << result.outputPath << "\n";
    if (result.unreadableItems)
        err << "brevik-cli: " << result.unreadableItems << " items could not be read\n";
    return 0;
}

}  // namespace brevik::cli
