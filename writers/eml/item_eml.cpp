#include "writers/eml/item_eml.h"

#include <algorithm>
#include <optional>

#include "message/item_access.h"
#include "message/load_message.h"
#include "writers/eml/eml_writer.h"
#include "writers/files/item_fields.h"
#include "writers/ics/meeting_calendar.h"
#include "writers/pst/recovered_store.h"

namespace brevik::eml {
namespace {

// What the list shows of an item whose properties cannot be read.
pst::Item itemFromRow(RecoveredBase& base, const ItemSummary& row) {
    pst::Item item;
    item.properties.push_back(pst::unicodeProperty(pid::kSubject, row.subjectText));
    item.properties.push_back(pst::unicodeProperty(pid::kSentRepresentingName, row.fromText));
    if (row.utcTime)
        item.properties.push_back(pst::timeProperty(pid::kClientSubmitTime, row.utcTime));
    const std::string body = itemBody(base, row);
    if (!body.empty())
        item.properties.push_back(
            pst::unicodeProperty(row.bodyFormat == 1 ? pid::kHtml : pid::kBody, body));
    return item;
}

void replaceBody(pst::Item& item, const std::string& text) {
    std::erase_if(item.properties, [](const pst::Property& p) {
        return p.id == pid::kBody || p.id == pid::kHtml || p.id == pid::kRtfCompressed;
    });
    item.properties.push_back(pst::unicodeProperty(pid::kBody, text));
}

}  // namespace

std::string itemAsEml(RecoveredBase& base, std::uint32_t item) {
    if (item >= base.itemSummaries.size()) return {};
    const ItemSummary& row = base.itemSummaries[item];
    std::optional<pst::Item> full = pst::recoveredItem(base, item, pst::recoveredNames(base));
    if (!full) full = itemFromRow(base, row);
    // Contacts and notes name no sender: their message shows who the list says they are from,
    // and a contact's body is its fields.
    const bool contact = row.kind == item_kind::kContact;
    if ((contact || row.kind == item_kind::kNote) && !row.fromText.empty() &&
        !pst::findProperty(full->properties, pid::kSentRepresentingName) &&
        !pst::findProperty(full->properties, pid::kSenderName))
        full->properties.push_back(pst::unicodeProperty(pid::kSentRepresentingName, row.fromText));
    if (contact)
        if (const auto record = loadItemRecord(base, item))
            replaceBody(*full, contactText(base, *record));
    EmlOptions options;
    options.calendar = ics::meetingCalendarOf(base, NamedIds(base), item);
    return writeEml(*full, options);
}

std::string itemSourceHeaders(RecoveredBase& base, std::uint32_t item) {
    if (const auto record = loadItemRecord(base, item))
        if (const StringSlot& h = record->envelope.transportMessageHeaders; h && !h->empty())
            return std::string(h->c_str());
    const std::string eml = itemAsEml(base, item);
    const std::size_t end = eml.find("\r\n\r\n");
    return end == std::string::npos ? eml : eml.substr(0, end + 2);
}

}  // namespace brevik::eml
