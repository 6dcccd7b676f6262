// brevik-cli report: how healthy a file is, what was damaged and where, what was rebuilt, and
// where each folder's items came from.
#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/recovery_view.h"
#include "cli/terminal_text.h"
#include "message/item_damage.h"
#include "message/item_summary.h"

namespace brevik::cli {
namespace {

std::string hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace

void writeReport(const RecoveredBase& base, const ReportOptions& options, std::ostream& out) {
    const bool lost = base.damage.dataLost();
    const DropCounts& d = base.dropped;

    nlohmann::json damage = nlohmann::json::array();
    for (std::size_t k = 0; k < static_cast<std::size_t>(DamageKind::Count); ++k) {
        const auto kind = static_cast<DamageKind>(k);
        if (base.damage.count(kind) == 0) continue;
        nlohmann::json offsets = nlohmann::json::array();
        for (std::uint64_t o : base.damage.firstOffsets(kind))
            offsets.push_back(o);
        damage.push_back({{"kind", damageKindName(kind)},
                          {"count", base.damage.count(kind)},
                          {"lostData", DamageLog::losesData(kind)},
                          {"firstOffsets", offsets}});
    }
    std::uint64_t fromRows = 0;
    for (std::uint32_t i = 0; i < base.itemCount; ++i)
        fromRows += base.messageEntries[i].source == ItemSource::TableRow;
    const nlohmann::json rebuilt = {{"itemsFromDataAlone", d.itemsFromDataAlone},
                                    {"itemsFromTableRows", fromRows},
                                    {"foldersForOrphanedItems", d.orphanGroups},
                                    {"duplicateCopiesDropped", d.duplicateItems},
                                    {"blocksFoundByTrailers", d.blocksFromTrailers}};

    const std::vector<ShownFolder> shown = shownFolders(base);
    nlohmann::json damagedItems = nlohmann::json::array();
    if (!base.damagedItems.empty()) {
        const std::vector<std::uint32_t> itemFolders = itemShownFolders(base, shown);
        for (const DamagedItem& d : base.damagedItems) {
            if (d.item >= base.itemCount) continue;
            const ItemSummary& s = base.itemSummaries[d.item];
            if (s.hiddenCode == 201) continue;
            nlohmann::json parts = nlohmann::json::array(), offsets = nlohmann::json::array();
            for (const DamagedPart& p : d.parts) {
                parts.push_back(p.name);
                for (std::uint64_t o : p.blockOffsets)
                    offsets.push_back(o);
            }
            damagedItems.push_back({{"number", s.number},
                                    {"folder", itemFolderPath(shown, itemFolders[d.item])},
                                    {"subject", s.subjectText},
                                    {"deleted", s.deletedMark != 0},
                                    {"parts", parts},
                                    {"blockOffsets", offsets}});
        }
    }

    nlohmann::json folders = nlohmann::json::array();
    for (const ShownFolder& f : shown) {
        if (f.copy) continue;
        const FolderEntry& fe = base.folderEntries[f.folderIndex];
        std::array<std::uint64_t, kItemSourceSlots> counts{};
        for (std::uint32_t i = fe.firstItem; i < fe.endItem && i < base.itemCount; ++i)
            if (base.itemSummaries[i].hiddenCode != 201 && !base.messageEntries[i].loadFailed)
                ++counts[itemSourceSlot(base.messageEntries[i])];
        nlohmann::json bySource = nlohmann::json::object();
        for (std::size_t k = 0; k < kItemSourceSlots; ++k)
            bySource[itemSourceSlotName(k)] = counts[k];
        folders.push_back({{"path", f.path}, {"items", bySource}});
    }

    if (options.json) {
        printJson(out, {{"file", options.file},
                        {"verdict", verdictName(base.damage)},
                        {"dataLost", lost},
                        {"damage", damage},
                        {"rebuilt", rebuilt},
                        {"damagedItems", damagedItems},
                        {"folders", folders}});
        return;
    }
    out << terminalLine(options.file) << ": "
        << (lost                    ? "damaged: some data was lost"
            : base.damage.damaged() ? "damaged: nothing was lost, but the file is broken (other "
                                      "programs may refuse it); use the recovered copy instead"
                                    : "healthy: nothing was lost")
        << "\n";
    if (!damage.empty()) out << "\nDamage:\n";
    for (const auto& k : damage) {
        out << "  " << k["count"].get<std::uint64_t>() << " " << k["kind"].get<std::string>()
            << (k["lostData"].get<bool>() ? "" : " (nothing lost)");
        // Kinds without a place in the file (a lost folder) keep offset 0.
        const auto& offsets = k["firstOffsets"];
        if (std::any_of(offsets.begin(), offsets.end(), [](const auto& o) { return o != 0; })) {
            out << "; first at";
            for (const auto& o : offsets)
                out << " " << hex(o.get<std::uint64_t>());
        }
        out << "\n";
    }
    if (!damagedItems.empty()) out << "\nItems with damaged parts (the rest of each is kept):\n";
    for (const auto& d : damagedItems) {
        out << "  " << d["number"].get<std::uint32_t>()
            << (d["deleted"].get<bool>() ? " (deleted)" : "") << " in "
            << terminalLine(d["folder"].get<std::string>()) << ", \""
            << terminalLine(d["subject"].get<std::string>()) << "\": lost";
        std::string sep = " ";
        for (const auto& p : d["parts"]) {
            out << sep << terminalLine(p.get<std::string>());
            sep = ", ";
        }
        out << "; blocks at";
        for (const auto& o : d["blockOffsets"])
            out << " " << hex(o.get<std::uint64_t>());
        out << "\n";
    }
    out << "\nRebuilt: " << d.itemsFromDataAlone << " items from their data alone, " << fromRows
        << " items from contents-table rows, " << d.orphanGroups << " folders for orphaned items; "
        << d.duplicateItems << " duplicate copies dropped\n";
    out << "\nItems per folder (live index / stale index / data alone / table row):\n";
    for (const auto& f : folders) {
        out << "  " << terminalLine(f["path"].get<std::string>()) << ":";
        for (std::size_t k = 0; k < kItemSourceSlots; ++k)
            out << " " << f["items"][itemSourceSlotName(k)].get<std::uint64_t>();
        out << "\n";
    }
}

int runReport(const ReportOptions& options, std::ostream& out, std::ostream& err) {
    RecoveredBase base;
    if (!recoverWithProgress(base, options.file, err, options.threads)) return 1;
    writeReport(base, options, out);
    return exitStatus(base);
}

}  // namespace brevik::cli
