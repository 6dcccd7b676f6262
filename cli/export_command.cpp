#include "cli/export_command.h"

#include <ostream>

#include "writers/pst/sample_generator.h"

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

int runExport(const ExportOptions& options, std::ostream& /*out*/, std::ostream& err) {
    if (options.format != "pst") {
        err << "export: unknown format '" << options.format << "' (supported: pst)\n";
        return 2;
    }
    err << "export: saving a recovered file is not available yet\n";
    return 1;
}

}  // namespace brevik::cli
