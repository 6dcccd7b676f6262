// What an item is, told finer than its kind code: the code groups meeting responses with mail
// and says nothing of which report a report is. Derived from the message class alone.
#pragma once

#include <cstdint>
#include <string_view>

namespace brevik {

enum class ItemType : std::uint8_t {
    Other,
    Mail,
    Post,
    Appointment,
    MeetingRequest,
    MeetingResponse,
    MeetingCancellation,
    Task,
    TaskRequest,
    Contact,
    DistList,
    Note,
    Journal,
    DeliveryReport,
    ReadReport,
    NonDeliveryReport,
    Report,  // any other report
    System,
};

// The type of an item whose message class is `messageClass` (compared without letter case; a
// zero ends it). An empty class is mail.
ItemType itemTypeOf(std::string_view messageClass);

// One word for JSON and listings: "mail", "appointment", "meetingRequest", "deliveryReport", ...
const char* itemTypeName(ItemType type);

// Whether an item of this type is a calendar entry, a task or a journal entry: saved as
// iCalendar, not as mail.
bool isCalendarType(ItemType type);

}  // namespace brevik
