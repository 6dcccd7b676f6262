#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/recovery_view.h"
#include "message/item_summary.h"

namespace brevik::cli {
namespace {

const char* bodyFormatName(std::uint8_t f) {
    return f == 1 ? "html" : f == 3 ? "text" : "none";
}

bool listed(const MessageBase& base, std::uint32_t i, const ListOptions& options) {
    const ItemSummary& s = base.itemSummaries[i];
    if (base.messageEntries[i].loadFailed || (s.hiddenCode == 201 && !options.all)) return false;
    return !options.deletedOnly || s.deletedMark;
}

nlohmann::json itemJson(const MessageBase& base, std::uint32_t i, const std::string& folder) {
    const ItemSummary& s = base.itemSummaries[i];
    const MessageNodeEntry& e = base.messageEntries[i];
    return {{"number", s.number},
            {"index", i},
            {"nodeId", e.nodeId},
            {"folder", folder},
            {"kind", s.kind},
            {"kindName", kindName(s.kind)},
            {"deleted", s.deletedMark != 0},
            {"source", itemSourceName(e)},
            {"loadFailed", e.loadFailed != 0},
            {"hidden", s.hiddenCode == 201},
            {"associated", s.associated},
            {"subject", s.subjectText},
            {"from", s.fromText},
            {"to", s.toText},
            {"time", isoUtc(s.utcTime)},
            {"localTime", s.dateText},
            {"attachments", s.attachmentNames},
            {"bodyFormat", bodyFormatName(s.bodyFormat)},
            {"bodyFromRtf", s.bodyFromRtf},
            {"bodyLength", s.bodyLength > 0 ? s.bodyLength - 1 : 0}};
}

nlohmann::json droppedJson(const DropCounts& d) {
    return {{"blocksPastEnd", d.blocksPastEnd},       {"blocksMalformed", d.blocksMalformed},
            {"nodesWithoutData", d.nodesWithoutData}, {"duplicateItems", d.duplicateItems},
            {"itemsNotLoaded", d.itemsNotLoaded},     {"itemsFromDataAlone", d.itemsFromDataAlone},
            {"orphanGroups", d.orphanGroups},         {"itemsFromTableRows", d.itemsFromTableRows}};
}

// One line naming what the run skipped or rebuilt; empty for a clean file.
std::string droppedText(const DropCounts& d) {
    std::string text;
    auto add = [&text](std::uint32_t n, const char* what) {
        if (n == 0) return;
        text += text.empty() ? "" : ", ";
        text += std::to_string(n) + " " + what;
    };
    add(d.blocksPastEnd, "block entries past the end of the file");
    add(d.blocksMalformed, "malformed block entries");
    add(d.nodesWithoutData, "node entries without data");
    add(d.duplicateItems, "duplicate item copies");
    add(d.itemsNotLoaded, "unreadable items");
    add(d.itemsFromDataAlone, "items rebuilt from data alone");
    add(d.orphanGroups, "folders rebuilt for orphaned items");
    add(d.itemsFromTableRows, "items rebuilt from contents-table rows");
    return text;
}

}  // namespace

int runList(const ListOptions& options, std::ostream& out, std::ostream& err) {
    MessageBase base;
    if (!recoverWithProgress(base, options.file, err)) return 1;
    const auto folders = shownFolders(base);
    const auto paths = itemFolderPaths(base, folders);

    if (options.json) {
        nlohmann::json j;
        j["file"] = options.file;
        j["layout"] = base.isUnicode() ? "Unicode" : "ANSI";
        j["dropped"] = droppedJson(base.dropped);
        j["folders"] = nlohmann::json::array();
        for (const ShownFolder& f : folders) {
            const FolderEntry& fe = base.folderEntries[f.folderIndex];
            j["folders"].push_back({{"path", f.path},
                                    {"nodeId", fe.nodeId},
                                    {"items", fe.itemCount},
                                    {"orphanGroup", fe.orphanGroup},
                                    {"deleted", fe.reachable == 0 && !fe.orphanGroup},
                                    {"copy", f.copy}});
        }
        j["items"] = nlohmann::json::array();
        for (std::uint32_t i = 0; i < base.itemCount; ++i) {
            if (options.deletedOnly && !base.itemSummaries[i].deletedMark) continue;
            if (base.itemSummaries[i].hiddenCode == 201 && !options.all) continue;
            j["items"].push_back(itemJson(base, i, paths[i]));
        }
        printJson(out, j);
        return exitStatus(base);
    }

    std::uint32_t shown = 0, deleted = 0;
    ListOptions counted = options;
    counted.deletedOnly = false;
    for (std::uint32_t i = 0; i < base.itemCount; ++i)
        if (listed(base, i, counted)) {
            ++shown;
            deleted += base.itemSummaries[i].deletedMark;
        }
    out << options.file << ": " << base.folderCount << " folders, " << shown << " items ("
        << deleted << " deleted)\n";
    if (const std::string d = droppedText(base.dropped); !d.empty())
        out << "Skipped or rebuilt: " << d << "\n";
    out << "\n";
    for (const ShownFolder& f : folders) {
        const FolderEntry& fe = base.folderEntries[f.folderIndex];
        out << std::string(2 * f.depth, ' ') << f.path.substr(f.path.rfind('/') + 1) << " ("
            << fe.itemCount << ")" << (fe.reachable == 0 && !fe.orphanGroup ? " [deleted]" : "")
            << "\n";
    }
    for (const ShownFolder& f : folders) {
        if (f.copy) continue;
        const FolderEntry& fe = base.folderEntries[f.folderIndex];
        bool header = false;
        for (std::uint32_t i = fe.firstItem; i < fe.endItem; ++i) {
            if (!listed(base, i, options)) continue;
            if (!header) {
                out << "\n== " << f.path << "\n"
                    << "     #  D  Att  Kind         From | To | Subject | Date\n";
                header = true;
            }
            const ItemSummary& s = base.itemSummaries[i];
            // Hidden rows (shown with --all) have no number of their own.
            char number[16] = "     -";
            if (s.hiddenCode != 201) std::snprintf(number, sizeof number, "%6u", s.number);
            char lead[64];
            std::snprintf(lead, sizeof lead, "%s  %c  %3d  %-11s  ", number,
                          s.deletedMark ? 'D' : ' ', s.attachmentCount,
                          s.associated ? "associated" : kindName(s.kind));
            out << lead << s.fromText << " | " << s.toText << " | " << s.subjectText << " | "
                << s.dateText << "\n";
        }
    }
    return exitStatus(base);
}

}  // namespace brevik::cli
