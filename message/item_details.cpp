#include "message/item_details.h"

namespace brevik {

ItemDetails readItemDetails(MessageBase& base, const NamedIds& names, std::uint32_t itemIndex,
                            ItemType type) {
    ItemDetails d;
    const bool meeting = type == ItemType::Appointment || type == ItemType::MeetingRequest ||
                         type == ItemType::MeetingResponse || type == ItemType::MeetingCancellation;
    const bool task = type == ItemType::Task || type == ItemType::TaskRequest;
    if (!meeting && !task && type != ItemType::Contact && type != ItemType::DistList &&
        type != ItemType::Journal)
        return d;
    // Only a contact's attachments matter here (its picture).
    const auto item = readItemProperties(base, names, itemIndex, type == ItemType::Contact);
    if (!item) return d;
    try {
        if (meeting) d.appointment = readAppointment(*item);
        if (task) d.task = readTask(*item);
        if (type == ItemType::Contact) d.contact = readContact(*item);
        if (type == ItemType::DistList) d.distList = readDistList(*item);
        if (type == ItemType::Journal) d.journal = readJournal(*item);
    } catch (...) {
        // Damaged values: the fields read so far are not trusted either.
        return {};
    }
    return d;
}

}  // namespace brevik
