#include "message/item_type.h"

#include <cstddef>
#include <string>

namespace brevik {
namespace {

std::string lowerUntilZero(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '\0') break;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

// `c` is `prefix` or starts with it followed by a dot: "IPM.Task" names "IPM.Task.Custom" but
// not "IPM.TaskRequest".
bool isClass(std::string_view c, std::string_view prefix) {
    return c.starts_with(prefix) && (c.size() == prefix.size() || c[prefix.size()] == '.');
}

}  // namespace

ItemType itemTypeOf(std::string_view messageClass) {
    const std::string c = lowerUntilZero(messageClass);
    if (c.empty() || isClass(c, "ipm.note") || c == "ipm") return ItemType::Mail;
    if (c.starts_with("report.")) {
        if (c.ends_with(".ndr")) return ItemType::NonDeliveryReport;
        if (c.ends_with(".dr") || c.ends_with(".delayed") || c.ends_with(".relayed"))
            return ItemType::DeliveryReport;
        if (c.ends_with(".ipnrn") || c.ends_with(".ipnnrn")) return ItemType::ReadReport;
        return ItemType::Report;
    }
    if (isClass(c, "ipm.appointment")) return ItemType::Appointment;
    if (isClass(c, "ipm.schedule.meeting.request")) return ItemType::MeetingRequest;
    if (isClass(c, "ipm.schedule.meeting.canceled")) return ItemType::MeetingCancellation;
    if (isClass(c, "ipm.schedule.meeting.resp")) return ItemType::MeetingResponse;
    if (isClass(c, "ipm.taskrequest")) return ItemType::TaskRequest;
    if (isClass(c, "ipm.task")) return ItemType::Task;
    if (isClass(c, "ipm.contact")) return ItemType::Contact;
    if (isClass(c, "ipm.distlist")) return ItemType::DistList;
    if (isClass(c, "ipm.stickynote")) return ItemType::Note;
    if (isClass(c, "ipm.activity")) return ItemType::Journal;
    if (isClass(c, "ipm.post")) return ItemType::Post;
    if (c.starts_with("ipc") || isClass(c, "ipm.configuration") || isClass(c, "ipm.rule.message") ||
        isClass(c, "ipm.extendedrule.message") || c.starts_with("ipm.microsoft."))
        return ItemType::System;
    if (c.starts_with("ipm.")) return ItemType::Mail;  // documents, secure and signed mail, ...
    return ItemType::Other;
}

const char* itemTypeName(ItemType type) {
    switch (type) {
        case ItemType::Mail:
            return "mail";
        case ItemType::Post:
            return "post";
        case ItemType::Appointment:
            return "appointment";
        case ItemType::MeetingRequest:
            return "meetingRequest";
        case ItemType::MeetingResponse:
            return "meetingResponse";
        case ItemType::MeetingCancellation:
            return "meetingCancellation";
        case ItemType::Task:
            return "task";
        case ItemType::TaskRequest:
            return "taskRequest";
        case ItemType::Contact:
            return "contact";
        case ItemType::DistList:
            return "distlist";
        case ItemType::Note:
            return "note";
        case ItemType::Journal:
            return "journal";
        case ItemType::DeliveryReport:
            return "deliveryReport";
        case ItemType::ReadReport:
            return "readReport";
        case ItemType::NonDeliveryReport:
            return "nonDeliveryReport";
        case ItemType::Report:
            return "report";
        case ItemType::System:
            return "system";
        case ItemType::Other:
            break;
    }
    return "other";
}

bool isCalendarType(ItemType type) {
    return type == ItemType::Appointment || type == ItemType::Task || type == ItemType::Journal;
}

}  // namespace brevik
