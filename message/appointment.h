// The fields of an appointment or a meeting item ([MS-OXOCAL]): when, where, who, how often.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "message/calendar_time.h"
#include "message/item_properties.h"
#include "message/recurrence.h"

namespace brevik {

// PidTagRecipientTrackStatus: what an attendee answered.
enum class AttendeeResponse : std::uint8_t {
    None = 0,
    Organized = 1,
    Tentative = 2,
    Accepted = 3,
    Declined = 4,
    NotResponded = 5
};
enum class AttendeeRole : std::uint8_t { Required, Optional, Resource };

struct Attendee {
    std::string name;
    std::string address;  // SMTP where the item has one
    AttendeeRole role = AttendeeRole::Required;
    AttendeeResponse response = AttendeeResponse::None;
    bool organizer = false;
};

struct AppointmentFields {
    std::string subject;
    std::string body;
    std::string location;
    std::optional<std::uint64_t> start;  // FILETIME, UTC
    std::optional<std::uint64_t> end;
    bool allDay = false;
    std::optional<TimeZoneRule> timeZone;
    std::string timeZoneName;
    std::string organizerName;
    std::string organizerAddress;
    std::vector<Attendee> attendees;
    std::optional<std::int32_t> busyStatus;  // 0 free, 1 tentative, 2 busy, 3 away, 4 elsewhere
    bool reminderSet = false;
    std::optional<std::int32_t> reminderMinutes;  // before the start
    std::vector<std::string> categories;
    std::optional<RecurrenceRule> recurrence;
    std::string uid;  // the meeting's global object id in hex, when it has one
    std::optional<std::uint64_t> created;
    std::optional<std::uint64_t> modified;
};

AppointmentFields readAppointment(const ItemProperties& item);

const char* busyStatusName(std::int32_t status);      // "free", "tentative", "busy", ...
const char* responseName(AttendeeResponse response);  // "accepted", "declined", ...
const char* roleName(AttendeeRole role);              // "required", "optional", "resource"

// An address to show for a recipient or sender: the SMTP address when there is one.
std::string smtpAddressOf(const PropertyBag& bag, std::uint16_t smtpId, std::uint16_t typeId,
                          std::uint16_t addressId);

}  // namespace brevik
