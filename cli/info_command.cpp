#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/recovery_view.h"
#include "cli/terminal_text.h"
#include "engine/format_detection.h"
#include "engine/index_tables.h"

namespace brevik::cli {
namespace {

const char* cryptName(CryptMethod m) {
    switch (m) {
        case CryptMethod::None:
            return "none";
        case CryptMethod::Permute:
            return "permute";
        case CryptMethod::Cyclic:
            return "cyclic";
        default:
            return "unrecognised";
    }
}

std::size_t countReachable(const std::vector<IndexPageInfo>& pages) {
    std::size_t n = 0;
    for (const auto& p : pages)
        n += p.reachable;
    return n;
}

}  // namespace

int runInfo(const InfoOptions& options, std::ostream& out, std::ostream& err) {
    int status = 0;
    // Each file's entry is printed as soon as it is read.
    std::optional<JsonWriter> json;
    if (options.json) {
        json.emplace(out, JsonWriter::Layout::Indented);
        json->beginArray();
    }
    for (const auto& path : options.files) {
        RecoveredBase base;
        if (!openInput(base, path, err)) {
            status = 1;
            continue;
        }
        if (detectFormat(base) != 0) {
            err << "brevik-cli: '" << terminalLine(path)
                << "' is not a readable personal folder file (no block and node index pages "
                   "found)\n";
            status = 1;
            continue;
        }
        base.cryptMethod = readCryptMethod(base);
        buildIndexTables(base);

        const bool unicode = base.isUnicode();
        nlohmann::json j = {
            {"file", path},
            {"fileSize", base.fileSize},
            {"layout", base.has4kPages() ? "Unicode, 4 KiB pages"
                       : unicode         ? "Unicode"
                                         : "ANSI"},
            {"formatCode", base.formatCode},
            {"cryptMethod", cryptName(base.cryptMethod)},
            {"leafBlockPages", base.leafBbtPages.size()},
            {"leafBlockPagesReachable", countReachable(base.leafBbtPages)},
            {"leafNodePages", base.leafNbtPages.size()},
            {"leafNodePagesReachable", countReachable(base.leafNbtPages)},
            {"blockCount", base.blockCount()},
            {"nodeCount", base.nodeCount()},
            {"folderCapacity", base.folderCapacity},
            {"messageNodeCount", base.messageNodeCount},
        };
        if (json) {
            json->value(j);
            json->flush();
            continue;
        }
        out << terminalLine(path) << "\n"
            << "  layout:              " << (unicode ? "Unicode" : "ANSI") << " (format code "
            << base.formatCode << ")\n"
            << "  size:                " << base.fileSize << " bytes\n"
            << "  crypt method:        " << cryptName(base.cryptMethod) << "\n"
            << "  leaf block pages:    " << base.leafBbtPages.size() << " ("
            << countReachable(base.leafBbtPages) << " reachable)\n"
            << "  leaf node pages:     " << base.leafNbtPages.size() << " ("
            << countReachable(base.leafNbtPages) << " reachable)\n"
            << "  blocks:              " << base.blockCount() << "\n"
            << "  nodes:               " << base.nodeCount() << "\n"
            << "  folder nodes:        " << base.folderCapacity << "\n"
            << "  item nodes:          " << base.messageNodeCount << "\n";
    }
    if (json) json->endArray();
    return status;
}

}  // namespace brevik::cli
