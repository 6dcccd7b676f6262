#include <algorithm>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <thread>
#include <utility>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/recovery_view.h"
#include "cli/terminal_text.h"
#include "engine/parallel_parts.h"
#include "message/item_damage.h"
#include "message/item_summary.h"
#include "recovery/folder_tree.h"

namespace brevik::cli {
namespace {

const char* bodyFormatName(std::uint8_t f) {
    return f == 1 ? "html" : f == 3 ? "text" : "none";
}

bool listed(const RecoveredBase& base, std::uint32_t i, const ListOptions& options) {
    const ItemSummary& s = base.itemSummaries[i];
    if (base.messageEntries[i].loadFailed || (s.hiddenCode == 201 && !options.all)) return false;
    return !options.deletedOnly || s.deletedMark;
}

// One item's members, in the order nlohmann's sorted objects printed them before the listing
// was streamed; `file` is set for JSON lines, where each line stands alone.
void writeItem(JsonWriter& w, const RecoveredBase& base, std::uint32_t i, const std::string& folder,
               const std::string* file) {
    const ItemSummary& s = base.itemSummaries[i];
    const MessageNodeEntry& e = base.messageEntries[i];
    w.beginObject();
    w.field("associated", s.associated);
    w.key("attachments").beginArray();
    for (const std::string& name : s.attachmentNames)
        w.value(name);
    w.endArray();
    w.field("bodyFormat", bodyFormatName(s.bodyFormat));
    w.field("bodyFromRtf", s.bodyFromRtf);
    w.field("bodyLength", s.bodyLength > 0 ? s.bodyLength - 1 : 0);
    if (const DamagedItem* d = findDamage(base.damagedItems, i)) {
        w.key("damaged").beginArray();
        for (const DamagedPart& part : d->parts)
            w.value(part.name);
        w.endArray();
    }
    w.field("deleted", s.deletedMark != 0);
    if (file) w.field("file", *file);
    w.field("folder", folder);
    w.field("from", s.fromText);
    w.field("hidden", s.hiddenCode == 201);
    w.field("index", i);
    w.field("kind", s.kind);
    w.field("kindName", kindName(s));
    w.field("loadFailed", e.loadFailed != 0);
    w.field("localTime", s.dateText);
    w.field("messageClass", s.messageClass);
    w.field("nodeId", e.nodeId);
    w.field("number", s.number);
    w.field("source", itemSourceName(e));
    w.field("subject", s.subjectText);
    w.field("time", isoUtc(s.utcTime));
    w.field("to", s.toText);
    w.endObject();
}

nlohmann::json droppedJson(const DropCounts& d) {
    return {{"blocksPastEnd", d.blocksPastEnd},
            {"blocksMalformed", d.blocksMalformed},
            {"nodesWithoutData", d.nodesWithoutData},
            {"duplicateItems", d.duplicateItems},
            {"itemsNotLoaded", d.itemsNotLoaded},
            {"itemsFromDataAlone", d.itemsFromDataAlone},
            {"orphanGroups", d.orphanGroups},
            {"itemsFromTableRows", d.itemsFromTableRows},
            {"blocksFromTrailers", d.blocksFromTrailers}};
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
    add(d.blocksFromTrailers, "blocks found by their trailers");
    return text;
}

// Writes the wanted items in index order. Formatting them is most of a listing's time, so
// chunks of items are formatted on `threads` threads while this one writes the chunks before
// them, in order: the output is what one thread writes, and memory holds a few chunks, whatever
// the number of items.
template <typename Wanted, typename WriteOne>
void writeItems(JsonWriter& w, std::uint32_t itemCount, unsigned threads, const Wanted& wanted,
                const WriteOne& writeOne) {
    constexpr std::uint64_t kChunk = 512;
    constexpr std::uint64_t kBytesPerItem = 1024;  // an indented item takes 600 to 900
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    // A chunk written reuses the buffer of one placed before: fresh ones would be new memory,
    // paged in again every time.
    std::vector<std::string> spare;
    std::mutex spareMutex;
    auto takeSpare = [&] {
        std::lock_guard lock(spareMutex);
        if (spare.empty()) return std::string();
        std::string b = std::move(spare.back());
        spare.pop_back();
        return b;
    };
    const JsonWriter context(w, JsonWriter::Apart{});  // workers read this, not `w`
    inOrderedChunks<std::pair<std::string, std::uint32_t>>(
        itemCount, kChunk, threads, 2 * threads,
        [&](std::uint64_t a, std::uint64_t b) {
            JsonWriter part(context, JsonWriter::Apart{}, takeSpare());
            part.reserve((b - a) * kBytesPerItem);  // grown once, not copied as it doubles
            for (std::uint64_t i = a; i < b; ++i)
                if (wanted(static_cast<std::uint32_t>(i)))
                    writeOne(part, static_cast<std::uint32_t>(i));
            const std::uint32_t n = part.elements();
            return std::pair{part.takeText(), n};
        },
        [&](std::pair<std::string, std::uint32_t> part) {
            w.placeElements(part.first, part.second);
            std::lock_guard lock(spareMutex);
            spare.push_back(std::move(part.first));
        });
}

}  // namespace

void writeListing(const RecoveredBase& base, const ListOptions& options, std::ostream& out) {
    const auto folders = shownFolders(base, options.all);
    if (options.json || options.jsonLines) {
        const auto at = itemShownFolders(base, folders);
        const std::vector<std::uint8_t> system = itemsInSystemFolders(base);
        auto wanted = [&](std::uint32_t i) {
            const ItemSummary& s = base.itemSummaries[i];
            return (!options.deletedOnly || s.deletedMark) &&
                   ((s.hiddenCode != 201 && !system[i]) || options.all);
        };
        if (options.jsonLines) {
            JsonWriter w(out, JsonWriter::Layout::Compact);
            writeItems(w, base.itemCount, options.threads, wanted,
                       [&](JsonWriter& part, std::uint32_t i) {
                           writeItem(part, base, i, itemFolderPath(folders, at[i]), &options.file);
                       });
            return;
        }
        JsonWriter w(out, JsonWriter::Layout::Indented);
        w.beginObject();
        w.field("dropped", droppedJson(base.dropped));
        w.field("file", options.file);
        w.key("folders").beginArray();
        for (const ShownFolder& f : folders) {
            const FolderEntry& fe = base.folderEntries[f.folderIndex];
            w.beginObject();
            w.field("copy", f.copy);
            w.field("deleted", fe.reachable == 0 && !fe.orphanGroup);
            w.field("items", fe.itemCount);
            w.field("nodeId", fe.nodeId);
            w.field("orphanGroup", fe.orphanGroup);
            w.field("path", f.path);
            w.endObject();
        }
        w.endArray();
        w.key("items").beginArray();
        writeItems(w, base.itemCount, options.threads, wanted,
                   [&](JsonWriter& part, std::uint32_t i) {
                       writeItem(part, base, i, itemFolderPath(folders, at[i]), nullptr);
                   });
        w.endArray();
        w.field("layout", base.has4kPages()  ? "Unicode, 4 KiB pages"
                          : base.isUnicode() ? "Unicode"
                                             : "ANSI");
        w.endObject();
        return;
    }

    const ShownItemCounts counts = countShownItems(base, options.all);
    out << terminalLine(options.file) << ": " << base.folderCount << " folders, " << counts.items
        << " items (" << counts.deleted << " deleted)\n";
    if (const std::string d = droppedText(base.dropped); !d.empty())
        out << "Skipped or rebuilt: " << d << "\n";
    out << "\n";
    for (const ShownFolder& f : folders) {
        const FolderEntry& fe = base.folderEntries[f.folderIndex];
        out << std::string(2 * f.depth, ' ') << terminalLine(f.path.substr(f.path.rfind('/') + 1))
            << " (" << fe.itemCount << ")"
            << (fe.reachable == 0 && !fe.orphanGroup ? " [deleted]" : "") << "\n";
    }
    for (const ShownFolder& f : folders) {
        if (f.copy) continue;
        const FolderEntry& fe = base.folderEntries[f.folderIndex];
        bool header = false;
        for (std::uint32_t i = fe.firstItem; i < fe.endItem; ++i) {
            if (!listed(base, i, options)) continue;
            if (!header) {
                out << "\n== " << terminalLine(f.path) << "\n"
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
                          s.associated ? "associated" : kindName(s));
            out << lead << terminalLine(s.fromText) << " | " << terminalLine(s.toText) << " | "
                << terminalLine(s.subjectText) << " | " << terminalLine(s.dateText) << "\n";
        }
    }
}

int runList(const ListOptions& options, std::ostream& out, std::ostream& err) {
    RecoveredBase base;
    if (!recoverWithProgress(base, options.file, err, options.threads)) return 1;
    writeListing(base, options, out);
    out.flush();
    return exitStatus(base);
}

}  // namespace brevik::cli
