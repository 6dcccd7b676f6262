#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/commands.h"
#include "cli/item_details_view.h"
#include "cli/json_writer.h"
#include "cli/recovery_view.h"
#include "cli/terminal_text.h"
#include "message/item_damage.h"
#include "message/item_details.h"
#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/records.h"

namespace brevik::cli {
namespace {

const char* recipientTypeName(const std::optional<std::uint32_t>& t) {
    if (!t) return "";
    switch (*t & 0xF) {
        case 1:
            return "To";
        case 2:
            return "Cc";
        case 3:
            return "Bcc";
        default:
            return "";
    }
}

std::string text(const std::optional<std::string>& s) {
    return s.value_or("");
}

}  // namespace

int runShow(const ShowOptions& options, std::ostream& out, std::ostream& err) {
    RecoveredBase base;
    if (!recoverWithProgress(base, options.file, err, options.threads)) return 1;
    std::optional<std::uint32_t> found;
    for (std::uint32_t i = 0; i < base.itemCount && !found; ++i) {
        const ItemSummary& s = base.itemSummaries[i];
        if (s.number == options.number && s.hiddenCode != 201 && !base.messageEntries[i].loadFailed)
            found = i;
    }
    if (!found) {
        err << "brevik-cli: '" << terminalLine(options.file) << "' has no item with that number ("
            << options.number << ")\n";
        return 2;
    }
    const std::uint32_t index = *found;
    const ItemSummary& s = base.itemSummaries[index];
    const auto folders = shownFolders(base);
    const std::string folderPath = itemFolderPath(folders, itemShownFolders(base, folders)[index]);
    // The pass keeps only summary rows; read the item again for its recipients and headers.
    MessageNodeEntry& entry = base.messageEntries[index];
    loadMessage(base, index);
    const std::shared_ptr<MessageRecord> record = entry.record;
    entry.record.reset();
    const ItemDetails details = readItemDetails(base, NamedIds(base), index, s.type);

    const MessageEnvelope empty;
    const MessageEnvelope& env = record ? record->envelope : empty;
    // The summary row may hold no copy of a large body: take it from the item read again.
    std::string body = s.bodyText;
    if (body.empty() && record) body = chooseItemBody(*record).text;
    const std::string senderAddress = text(env.senderEmailAddress).empty()
                                          ? text(env.sentRepresentingEmailAddress)
                                          : text(env.senderEmailAddress);

    if (options.json) {
        nlohmann::json j = {{"number", s.number},
                            {"index", index},
                            {"nodeId", entry.nodeId},
                            {"folder", folderPath},
                            {"kind", kindName(s)},
                            {"kindName", kindName(s)},
                            {"messageClass", s.messageClass},
                            {"deleted", s.deletedMark != 0},
                            {"subject", s.subjectText},
                            {"from", s.fromText},
                            {"senderAddress", senderAddress},
                            {"to", s.toText},
                            {"cc", text(env.displayCc)},
                            {"time", isoUtc(s.utcTime)},
                            {"localTime", s.dateText},
                            {"attachments", s.attachmentNames},
                            {"bodyFormat", s.bodyFormat == 1   ? "html"
                                           : s.bodyFormat == 3 ? "text"
                                                               : "none"},
                            {"bodyFromRtf", s.bodyFromRtf},
                            {"rtfDamaged", s.rtfDamaged},
                            {"body", body}};
        if (const DamagedItem* d = findDamage(base.damagedItems, index)) {
            j["damaged"] = nlohmann::json::array();
            for (const DamagedPart& part : d->parts)
                j["damaged"].push_back(part.name);
        }
        j["recipients"] = nlohmann::json::array();
        if (record)
            for (const RecipientRecord& r : record->recipients)
                j["recipients"].push_back({{"name", text(r.displayName)},
                                           {"address", text(r.emailAddress)},
                                           {"type", recipientTypeName(r.recipientType)}});
        addDetailsJson(j, details);
        printJson(out, j);
        return exitStatus(base);
    }
    // Every text below comes from the file: none reaches the terminal unescaped.
    out << "Number:      " << s.number << (s.deletedMark ? " (deleted)" : "") << "\n"
        << "Folder:      " << terminalLine(folderPath) << "\n"
        << "Kind:        " << kindName(s) << "\n"
        << "From:        " << terminalLine(s.fromText);
    if (!senderAddress.empty() && senderAddress != s.fromText)
        out << " <" << terminalLine(senderAddress) << ">";
    out << "\n"
        << "To:          " << terminalLine(s.toText) << "\n";
    if (!text(env.displayCc).empty())
        out << "Cc:          " << terminalLine(text(env.displayCc)) << "\n";
    out << "Subject:     " << terminalLine(s.subjectText) << "\n"
        << "Date:        " << terminalLine(s.dateText) << "\n";
    if (const DamagedItem* d = findDamage(base.damagedItems, index))
        out << "Damaged:     " << terminalLine(partNames(d->parts))
            << " (what is shown of these may be wrong or missing)\n";
    writeDetailsText(out, details);
    if (record && !record->recipients.empty()) {
        out << "Recipients:\n";
        for (const RecipientRecord& r : record->recipients) {
            out << "  " << recipientTypeName(r.recipientType) << " "
                << terminalLine(text(r.displayName));
            if (r.emailAddress) out << " <" << terminalLine(*r.emailAddress) << ">";
            out << "\n";
        }
    }
    if (!s.attachmentNames.empty()) {
        out << "Attachments:\n";
        for (const auto& name : s.attachmentNames)
            out << "  " << terminalLine(name) << "\n";
    }
    out << "\n" << terminalBlock(body) << "\n";
    return exitStatus(base);
}

}  // namespace brevik::cli
