#include "writers/files/save_cards.h"

#include <unordered_set>

#include "message/item_details.h"
#include "message/named_ids.h"
#include "recovery/folder_tree.h"
#include "writers/files/output_names.h"
#include "writers/files/staged_file.h"
#ifdef BREVIK_HAVE_ICAL
#include "writers/ics/ics_writer.h"
#endif
#include "writers/pst/recovered_store.h"
#include "writers/vcf/vcard_writer.h"

namespace brevik::files {
namespace {

bool belongs(FileFormat format, ItemType type) {
    if (format == FileFormat::Vcf) return type == ItemType::Contact || type == ItemType::DistList;
    return isCalendarType(type);
}

// A key that tells this file's items from another file's in the UIDs written.
std::uint64_t fileKey(const RecoveredBase& base) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : base.fileName)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

}  // namespace

void saveCardFiles(RecoveredBase& base, FileFormat format, const std::string& outputFolder,
                   const std::vector<std::uint32_t>* selectedItems, const std::atomic<bool>& stop,
                   const std::function<void(int)>& progress, FileSaveResult& result) {
    std::vector<bool> wanted = savedItems(base, selectedItems, result.skippedSelections);
    const auto itemCount = static_cast<std::uint32_t>(wanted.size());
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < itemCount; ++i) {
        if (!wanted[i]) continue;
        if (!belongs(format, base.itemSummaries[i].type)) {
            wanted[i] = false;
            ++result.notMail;
        } else {
            ++total;
        }
    }

    const NamedIds names(base);
    const std::uint64_t key = fileKey(base);
    NameSet taken;
    std::vector<bool> written(itemCount, false);
    std::uint64_t done = 0;
    // One file for the items of [first, end) that are wanted and not yet written.
    auto writeFolder = [&](std::uint32_t first, std::uint32_t end,
                           const std::string& name) -> pst::WriteStatus {
        std::string vcards;
#ifdef BREVIK_HAVE_ICAL
        ics::CalendarFile calendar;
#endif
        std::uint64_t items = 0;
        for (std::uint32_t i = first; i < end && i < itemCount; ++i) {
            if (!wanted[i] || written[i]) continue;
            if (stop.load(std::memory_order_relaxed))
                return pst::WriteStatus::failure(pst::WriteError::Stopped, "Canceled by user");
            written[i] = true;
            const ItemSummary& row = base.itemSummaries[i];
            const ItemDetails d = readItemDetails(base, names, i, row.type);
            const std::string uid = vcf::memberUid(base.messageEntries[i].nodeId, key);
            if (d.contact)
                vcards += vcf::contactCard(*d.contact, uid);
            else if (d.distList)
                vcards += vcf::listCard(*d.distList, uid, key);
#ifdef BREVIK_HAVE_ICAL
            else if (d.appointment)
                calendar.addAppointment(*d.appointment, uid.substr(9));
            else if (d.task)
                calendar.addTask(*d.task, uid.substr(9));
            else if (d.journal)
                calendar.addJournal(*d.journal, uid.substr(9));
#endif
            else {
                ++result.unreadableItems;
                continue;
            }
            ++items;
            if (progress)
                progress(static_cast<int>(++done * 100 / std::max<std::uint64_t>(total, 1)));
        }
        if (items == 0) return {};
        const std::string stem = safeName(name);
        const std::string file = taken.claim(stem.empty() ? "Folder" : stem,
                                             format == FileFormat::Vcf ? ".vcf" : ".ics");
#ifdef BREVIK_HAVE_ICAL
        const std::string text = format == FileFormat::Vcf ? vcards : calendar.text();
#else
        const std::string& text = vcards;
#endif
        pst::WriteStatus status = writeStaged(outputFolder, file, text);
        if (status.ok()) result.items += items;
        return status;
    };

    pst::WriteStatus status;
    if (base.topNode) {
        for (const FolderTreeNode* n : pst::folderPreorder(base.topNode)) {
            const auto [first, end] = pst::folderItemRange(base, n, itemCount);
            status = writeFolder(first, end, std::string(folderName(base, n->folderIndex)));
            if (!status.ok()) break;
        }
    }
    // Items no folder of the tree holds.
    if (status.ok()) status = writeFolder(0, itemCount, "Lost and Found");
    if (!status.ok()) {
        result.canceled = status.error == pst::WriteError::Stopped;
        result.message = status.message;
        return;
    }
    result.ok = true;
}

}  // namespace brevik::files
