#include "message/appointment.h"

#include "message/item_fields_common.h"
#include "message/property_tags.h"

namespace brevik {
namespace {

constexpr std::int32_t kRecipientOrganizer = 0x0002;  // PidTagRecipientFlags

std::string hex(const Bytes& b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(b.size() * 2);
    for (std::uint8_t x : b) {
        out += kDigits[x >> 4];
        out += kDigits[x & 15];
    }
    return out;
}

}  // namespace

std::string smtpAddressOf(const PropertyBag& bag, std::uint16_t smtpId, std::uint16_t typeId,
                          std::uint16_t addressId) {
    if (auto smtp = bag.text(smtpId); smtp && smtp->find('@') != std::string::npos) return *smtp;
    const std::string type = bag.text(typeId).value_or("SMTP");
    auto address = bag.text(addressId);
    if (address && (type == "SMTP" || type == "smtp") && address->find('@') != std::string::npos)
        return *address;
    return {};
}

AppointmentFields readAppointment(const ItemProperties& item) {
    const PropertyBag& p = item.own;
    AppointmentFields a;
    a.subject = itemSubject(p);
    a.body = itemPlainBody(p);
    a.location = p.text(kPsetidAppointment, lid::kLocation).value_or("");
    a.start = p.time(kPsetidAppointment, lid::kAppointmentStartWhole);
    if (!a.start) a.start = p.time(kPsetidCommon, lid::kCommonStart);
    a.end = p.time(kPsetidAppointment, lid::kAppointmentEndWhole);
    if (!a.end) a.end = p.time(kPsetidCommon, lid::kCommonEnd);
    a.allDay = p.boolean(kPsetidAppointment, lid::kAppointmentSubType).value_or(false);
    if (const Bytes* tz = p.binary(kPsetidAppointment, lid::kTimeZoneStruct))
        a.timeZone = parseTimeZoneStruct(*tz);
    a.timeZoneName = p.text(kPsetidAppointment, lid::kTimeZoneDescription).value_or("");
    // Newer items may carry the zone only as a full definition.
    if (!a.timeZone)
        if (const Bytes* def =
                p.binary(kPsetidAppointment, lid::kAppointmentTimeZoneDefinitionStartDisplay))
            if (auto d = parseTimeZoneDefinition(*def)) {
                a.timeZone = d->rule;
                if (a.timeZoneName.empty()) a.timeZoneName = d->keyName;
            }
    a.organizerName =
        p.text(pid::kSentRepresentingName).value_or(p.text(pid::kSenderName).value_or(""));
    a.organizerAddress =
        smtpAddressOf(p, pid::kSentRepresentingSmtpAddress, pid::kSentRepresentingAddressType,
                      pid::kSentRepresentingEmailAddress);
    if (a.organizerAddress.empty())
        a.organizerAddress = smtpAddressOf(p, pid::kSenderSmtpAddress, pid::kSenderAddressType,
                                           pid::kSenderEmailAddress);
    for (const PropertyBag& r : item.recipients) {
        Attendee at;
        at.name = r.text(pid::kDisplayName).value_or("");
        at.address = smtpAddressOf(r, pid::kSmtpAddress, pid::kAddressType, pid::kEmailAddress);
        if (at.name.empty() && at.address.empty()) continue;
        const std::int32_t type = r.int32(pid::kRecipientType).value_or(1) & 0xF;
        at.role = type == 2   ? AttendeeRole::Optional
                  : type == 3 ? AttendeeRole::Resource
                              : AttendeeRole::Required;
        const std::int32_t status = r.int32(pid::kRecipientTrackStatus).value_or(0);
        if (status >= 0 && status <= 5) at.response = static_cast<AttendeeResponse>(status);
        at.organizer = (r.int32(pid::kRecipientFlags).value_or(0) & kRecipientOrganizer) != 0;
        a.attendees.push_back(std::move(at));
    }
    a.busyStatus = p.int32(kPsetidAppointment, lid::kBusyStatus);
    a.reminderSet = p.boolean(kPsetidCommon, lid::kReminderSet).value_or(false);
    a.reminderMinutes = p.int32(kPsetidCommon, lid::kReminderDelta);
    a.categories = itemCategories(p);
    if (const Bytes* recur = p.binary(kPsetidAppointment, lid::kAppointmentRecur);
        recur && p.boolean(kPsetidAppointment, lid::kRecurring).value_or(true))
        a.recurrence = parseRecurrence(*recur);
    if (const Bytes* id = p.binary(kPsetidMeeting, lid::kGlobalObjectId); id && !id->empty())
        a.uid = hex(*id);
    a.created = p.time(pid::kCreationTime);
    a.modified = p.time(pid::kLastModificationTime);
    return a;
}

const char* busyStatusName(std::int32_t status) {
    switch (status) {
        case 0:
            return "free";
        case 1:
            return "tentative";
        case 2:
            return "busy";
        case 3:
            return "away";
        case 4:
            return "working elsewhere";
        default:
            return "unknown";
    }
}

const char* responseName(AttendeeResponse response) {
    switch (response) {
        case AttendeeResponse::Organized:
            return "organizer";
        case AttendeeResponse::Tentative:
            return "tentative";
        case AttendeeResponse::Accepted:
            return "accepted";
        case AttendeeResponse::Declined:
            return "declined";
        case AttendeeResponse::NotResponded:
            return "not responded";
        case AttendeeResponse::None:
            break;
    }
    return "none";
}

const char* roleName(AttendeeRole role) {
    switch (role) {
        case AttendeeRole::Optional:
            return "optional";
        case AttendeeRole::Resource:
            return "resource";
        case AttendeeRole::Required:
            break;
    }
    return "required";
}

}  // namespace brevik
