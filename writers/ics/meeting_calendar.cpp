#include "writers/ics/meeting_calendar.h"

#include "message/item_details.h"
#include "writers/ics/ics_writer.h"

namespace brevik::ics {

std::string meetingCalendarOf(RecoveredBase& base, const NamedIds& names, std::uint32_t itemIndex) {
    if (itemIndex >= base.itemSummaries.size()) return {};
    const ItemSummary& row = base.itemSummaries[itemIndex];
    if (row.type != ItemType::MeetingRequest && row.type != ItemType::MeetingResponse &&
        row.type != ItemType::MeetingCancellation)
        return {};
    const ItemDetails d = readItemDetails(base, names, itemIndex, row.type);
    if (!d.appointment) return {};
    return meetingCalendar(*d.appointment, row.type, row.messageClass,
                           "brevik-" + std::to_string(base.messageEntries[itemIndex].nodeId));
}

}  // namespace brevik::ics
