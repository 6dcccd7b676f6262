#include "cli/item_details_view.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/recovery_view.h"
#include "cli/terminal_text.h"
#include "message/calendar_time.h"

namespace brevik::cli {
namespace {

const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

std::string two(int n) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", n);
    return b;
}

// A time in the item's own zone, without an offset: "2022-01-03T09:00".
std::string localIso(std::int64_t minutes) {
    const CivilTime t = civilFromMinutes(minutes);
    return std::to_string(t.year) + "-" + two(t.month) + "-" + two(t.day) + "T" + two(t.hour) +
           ":" + two(t.minute);
}

std::string dateIso(std::int64_t minutes) {
    return localIso(minutes).substr(0, 10);
}

std::string contactDateIso(std::uint64_t filetime) {
    const CivilDate d = contactDate(filetime);
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.year, d.month, d.day);
    return b;
}

std::string utc(const std::optional<std::uint64_t>& t) {
    return t ? isoUtc(*t) : std::string();
}

nlohmann::json recurrenceJson(const RecurrenceRule& r) {
    static const char* const kFrequency[] = {"daily", "weekly", "monthly", "yearly"};
    nlohmann::json j = {{"frequency", kFrequency[static_cast<int>(r.frequency)]},
                        {"interval", r.interval},
                        {"start", dateIso(r.startDate)},
                        {"text", describeRecurrence(r)}};
    nlohmann::json days = nlohmann::json::array();
    for (int d = 0; d < 7; ++d)
        if (r.weekDays & (1 << d)) days.push_back(kDays[d]);
    if (!days.empty()) j["days"] = days;
    if (r.dayOfMonth) j["dayOfMonth"] = r.dayOfMonth;
    if (r.weekOfMonth) j["weekOfMonth"] = r.weekOfMonth == 5 ? -1 : static_cast<int>(r.weekOfMonth);
    if (r.lastDayOfMonth) j["lastDayOfMonth"] = true;
    if (r.monthOfYear) j["month"] = r.monthOfYear;
    j["end"] = r.end == RecurrenceEnd::ByDate       ? "date"
               : r.end == RecurrenceEnd::AfterCount ? "count"
                                                    : "never";
    if (r.end == RecurrenceEnd::AfterCount) j["count"] = r.count;
    if (r.end != RecurrenceEnd::Never) j["until"] = dateIso(r.endDate);
    nlohmann::json deleted = nlohmann::json::array();
    for (std::int64_t d : r.removedDates())
        deleted.push_back(dateIso(d));
    j["deleted"] = deleted;
    nlohmann::json changed = nlohmann::json::array();
    for (const RecurrenceException& e : r.exceptions) {
        nlohmann::json x = {{"originalStart", localIso(e.originalStart)},
                            {"start", localIso(e.start)},
                            {"end", localIso(e.end)}};
        if (e.subject) x["subject"] = *e.subject;
        if (e.location) x["location"] = *e.location;
        changed.push_back(x);
    }
    j["exceptions"] = changed;
    return j;
}

void line(std::ostream& out, const char* label, const std::string& value) {
    if (value.empty()) return;
    char head[32];
    std::snprintf(head, sizeof head, "%-13s", (std::string(label) + ":").c_str());
    out << head << terminalLine(value) << "\n";  // every value comes from the file
}

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v)
        s += (s.empty() ? "" : ", ") + x;
    return s;
}

}  // namespace

void addDetailsJson(nlohmann::json& j, const ItemDetails& d) {
    if (const auto& a = d.appointment) {
        j["start"] = utc(a->start);
        j["end"] = utc(a->end);
        j["allDay"] = a->allDay;
        j["location"] = a->location;
        j["timeZone"] = a->timeZoneName;
        j["organizer"] = {{"name", a->organizerName}, {"address", a->organizerAddress}};
        j["attendees"] = nlohmann::json::array();
        for (const Attendee& at : a->attendees)
            j["attendees"].push_back({{"name", at.name},
                                      {"address", at.address},
                                      {"role", roleName(at.role)},
                                      {"response", responseName(at.response)},
                                      {"organizer", at.organizer}});
        if (a->busyStatus) j["busyStatus"] = busyStatusName(*a->busyStatus);
        j["reminder"] = a->reminderSet ? nlohmann::json(a->reminderMinutes.value_or(0))
                                       : nlohmann::json(nullptr);
        j["categories"] = a->categories;
        j["recurrence"] = a->recurrence ? recurrenceJson(*a->recurrence) : nlohmann::json(nullptr);
    }
    if (const auto& t = d.task) {
        j["start"] = utc(t->start);
        j["due"] = utc(t->due);
        j["status"] = t->status ? taskStatusName(*t->status) : "";
        j["percentComplete"] =
            t->percentComplete ? static_cast<int>(*t->percentComplete * 100 + 0.5) : 0;
        j["owner"] = t->owner;
        j["completed"] = utc(t->completed);
        j["categories"] = t->categories;
        j["recurrence"] = t->recurrence ? recurrenceJson(*t->recurrence) : nlohmann::json(nullptr);
    }
    if (const auto& c = d.contact) {
        j["name"] = {{"display", c->displayName}, {"prefix", c->prefix},   {"given", c->givenName},
                     {"middle", c->middleName},   {"surname", c->surname}, {"suffix", c->suffix},
                     {"nickname", c->nickname},   {"fileAs", c->fileAs}};
        j["emails"] = nlohmann::json::array();
        for (const ContactEmail& e : c->emails)
            j["emails"].push_back({{"address", e.address}, {"displayName", e.displayName}});
        j["phones"] = nlohmann::json::array();
        for (const ContactPhone& p : c->phones)
            j["phones"].push_back({{"type", p.type}, {"number", p.number}});
        j["addresses"] = nlohmann::json::array();
        for (const ContactAddress& a : c->addresses)
            j["addresses"].push_back({{"type", a.type},
                                      {"street", a.street},
                                      {"city", a.city},
                                      {"region", a.region},
                                      {"postalCode", a.postalCode},
                                      {"country", a.country},
                                      {"poBox", a.poBox},
                                      {"mailing", a.mailing}});
        j["company"] = c->company;
        j["department"] = c->department;
        j["title"] = c->title;
        j["webPage"] = c->webPage;
        j["birthday"] = c->birthday ? contactDateIso(*c->birthday) : "";
        j["anniversary"] = c->anniversary ? contactDateIso(*c->anniversary) : "";
        j["notes"] = c->notes;
        j["categories"] = c->categories;
        j["picture"] =
            c->picture.empty()
                ? nlohmann::json(nullptr)
                : nlohmann::json({{"type", c->pictureType}, {"bytes", c->picture.size()}});
    }
    if (const auto& l = d.distList) {
        j["listName"] = l->name;
        j["members"] = nlohmann::json::array();
        for (const DistListMember& m : l->members)
            j["members"].push_back({{"name", m.name},
                                    {"address", m.address},
                                    {"addressType", m.addressType},
                                    {"linked", m.nodeId.has_value()}});
    }
    if (const auto& jr = d.journal) {
        j["journalType"] = jr->type;
        j["start"] = utc(jr->start);
        j["end"] = utc(jr->end);
        j["duration"] = jr->durationMinutes.value_or(0);
        j["companies"] = jr->companies;
        j["contacts"] = jr->contacts;
    }
}

void writeDetailsText(std::ostream& out, const ItemDetails& d) {
    if (const auto& a = d.appointment) {
        line(out, "Start", utc(a->start) + (a->allDay ? " (all day)" : ""));
        line(out, "End", utc(a->end));
        line(out, "Time zone", a->timeZoneName);
        line(out, "Location", a->location);
        std::string organizer = a->organizerName;
        if (!a->organizerAddress.empty() && a->organizerAddress != organizer)
            organizer += (organizer.empty() ? "<" : " <") + a->organizerAddress + ">";
        line(out, "Organizer", organizer);
        for (const Attendee& at : a->attendees)
            line(out, "Attendee",
                 at.name + (at.address.empty() ? "" : " <" + at.address + ">") + " (" +
                     roleName(at.role) + ", " + responseName(at.response) + ")");
        if (a->busyStatus) line(out, "Show as", busyStatusName(*a->busyStatus));
        if (a->reminderSet)
            line(out, "Reminder",
                 std::to_string(a->reminderMinutes.value_or(0)) + " minutes before");
        line(out, "Categories", joined(a->categories));
        if (a->recurrence) line(out, "Recurrence", describeRecurrence(*a->recurrence));
    }
    if (const auto& t = d.task) {
        line(out, "Start", utc(t->start));
        line(out, "Due", utc(t->due));
        if (t->status) line(out, "Status", taskStatusName(*t->status));
        if (t->percentComplete)
            line(out, "Complete",
                 std::to_string(static_cast<int>(*t->percentComplete * 100 + 0.5)) + "%");
        line(out, "Owner", t->owner);
        line(out, "Completed", utc(t->completed));
        line(out, "Categories", joined(t->categories));
        if (t->recurrence) line(out, "Recurrence", describeRecurrence(*t->recurrence));
    }
    if (const auto& c = d.contact) {
        line(out, "Full name", c->displayName);
        line(out, "File as", c->fileAs);
        for (const ContactEmail& e : c->emails)
            line(out, "E-mail",
                 e.address + (e.displayName.empty() || e.displayName == e.address
                                  ? ""
                                  : " (" + e.displayName + ")"));
        for (const ContactPhone& p : c->phones)
            line(out, "Phone", p.number + " (" + p.type + ")");
        for (const ContactAddress& a : c->addresses) {
            std::string text;
            for (const std::string* part :
                 {&a.street, &a.poBox, &a.postalCode, &a.city, &a.region, &a.country})
                if (!part->empty()) text += (text.empty() ? "" : ", ") + *part;
            line(out, "Address", text + " (" + a.type + ")");
        }
        line(out, "Company", c->company);
        line(out, "Department", c->department);
        line(out, "Job title", c->title);
        line(out, "Web page", c->webPage);
        if (c->birthday) line(out, "Birthday", contactDateIso(*c->birthday));
        if (c->anniversary) line(out, "Anniversary", contactDateIso(*c->anniversary));
        line(out, "Categories", joined(c->categories));
        if (!c->picture.empty())
            line(out, "Picture",
                 c->pictureType + ", " + std::to_string(c->picture.size()) + " bytes");
    }
    if (const auto& l = d.distList) {
        line(out, "List", l->name);
        for (const DistListMember& m : l->members)
            line(out, "Member", m.name + (m.address.empty() ? "" : " <" + m.address + ">"));
    }
    if (const auto& j = d.journal) {
        line(out, "Type", j->type);
        line(out, "Start", utc(j->start));
        if (j->durationMinutes)
            line(out, "Duration", std::to_string(*j->durationMinutes) + " minutes");
        line(out, "Companies", joined(j->companies));
        line(out, "Contacts", joined(j->contacts));
    }
}

}  // namespace brevik::cli
