#include "views/item_details_page.h"

#include <cstdio>
#include <ctime>

#include "engine/filetime.h"
#include "message/calendar_time.h"

namespace brevik::views {
namespace {

std::string escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\n':
                out += "<br>";
                break;
            case '\r':
                break;
            default:
                out += c;
        }
    }
    return out;
}

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

// A UTC FILETIME in the computer's local time: "Tuesday 2 August 2016, 17:00".
std::string when(std::uint64_t ft, bool withTime = true) {
    if (ft < filetime::kUnixEpochTicks) return {};
    const std::time_t t = static_cast<std::time_t>(filetime::unixSeconds(ft));
    std::tm tm{};
    localtime_r(&t, &tm);
    char b[96];
    std::snprintf(b, sizeof b, "%s %d %s %d", kDays[tm.tm_wday % 7], tm.tm_mday,
                  kMonths[tm.tm_mon % 12], tm.tm_year + 1900);
    std::string s = b;
    if (withTime) {
        std::snprintf(b, sizeof b, ", %d:%02d", tm.tm_hour, tm.tm_min);
        s += b;
    }
    return s;
}

// A date kept as a day (tasks, birthdays): its UTC day, rounded to the nearest midnight.
std::string day(std::uint64_t ft) {
    const CivilDate d = contactDate(ft);
    return std::to_string(d.day) + " " + kMonths[(d.month + 11) % 12] + " " +
           std::to_string(d.year);
}

class Page {
  public:
    explicit Page(const std::string& title) {
        html_ = "<html><body style=\"font-family: sans-serif\"><h2>" + escape(title) +
                "</h2><table cellspacing=\"4\">";
    }
    void row(const char* label, const std::string& value) {
        if (value.empty()) return;
        html_ += "<tr><td valign=\"top\" style=\"color: #555\">" + std::string(label) +
                 "</td><td>" + escape(value) + "</td></tr>";
    }
    void rawRow(const char* label, const std::string& html) {
        html_ += "<tr><td valign=\"top\" style=\"color: #555\">" + std::string(label) +
                 "</td><td>" + html + "</td></tr>";
    }
    std::string finish(const std::string& body) {
        html_ += "</table>";
        if (!body.empty()) html_ += "<hr><p>" + escape(body) + "</p>";
        return html_ + "</body></html>";
    }
    std::string& html() { return html_; }

  private:
    std::string html_;
};

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v)
        s += (s.empty() ? "" : ", ") + x;
    return s;
}

std::string person(const std::string& name, const std::string& address) {
    if (address.empty() || address == name) return name;
    return name.empty() ? address : name + " <" + address + ">";
}

// A time as the appointment's own zone shows it, so that it agrees with its recurrence; in the
// computer's zone when it names none.
std::string zonedWhen(const AppointmentFields& a, std::uint64_t ft, bool withTime) {
    if (!a.timeZone) return when(ft, withTime);
    const std::int64_t utc = static_cast<std::int64_t>(ft / kTicksPerMinute);
    const std::int64_t local = utc + a.timeZone->offsetAtUtc(utc);
    const CivilTime t = civilFromMinutes(local);
    const std::int64_t days = local >= 0 ? local / 1440 : 0;
    std::string s = std::string(kDays[weekday(days)]) + " " + std::to_string(t.day) + " " +
                    kMonths[(t.month + 11) % 12] + " " + std::to_string(t.year);
    if (withTime) {
        char b[16];
        std::snprintf(b, sizeof b, ", %d:%02d", t.hour, t.minute);
        s += b;
    }
    return s;
}

std::string appointmentPage(const ItemSummary& row, const AppointmentFields& a) {
    Page p(a.subject.empty() ? row.subjectText : a.subject);
    if (a.start) {
        std::string w = zonedWhen(a, *a.start, !a.allDay);
        if (a.end && !a.allDay) {
            const std::string end = zonedWhen(a, *a.end, true);
            // The same day: the end's time alone.
            w += " to " + (end.substr(0, end.find(',')) == w.substr(0, w.find(','))
                               ? end.substr(end.find(',') + 2)
                               : end);
        }
        p.row("When", w + (a.allDay ? " (all day)" : ""));
    }
    if (a.recurrence) p.row("Recurrence", describeRecurrence(*a.recurrence));
    p.row("Time zone", a.timeZoneName);
    p.row("Where", a.location);
    p.row("Organizer", person(a.organizerName, a.organizerAddress));
    for (const Attendee& at : a.attendees) {
        if (at.organizer) continue;
        p.row(at.role == AttendeeRole::Optional ? "Optional" : "Attendee",
              person(at.name, at.address) + " (" + responseName(at.response) + ")");
    }
    if (a.busyStatus) p.row("Show as", busyStatusName(*a.busyStatus));
    if (a.reminderSet)
        p.row("Reminder", std::to_string(a.reminderMinutes.value_or(0)) + " minutes before");
    p.row("Categories", joined(a.categories));
    return p.finish(a.body);
}

std::string taskPage(const ItemSummary& row, const TaskFields& t) {
    Page p(t.subject.empty() ? row.subjectText : t.subject);
    if (t.start) p.row("Start", day(*t.start));
    if (t.due) p.row("Due", day(*t.due));
    if (t.status) p.row("Status", taskStatusName(*t.status));
    if (t.percentComplete)
        p.row("Complete", std::to_string(static_cast<int>(*t.percentComplete * 100 + 0.5)) + "%");
    if (t.importance)
        p.row("Priority", *t.importance >= 2 ? "high" : *t.importance == 0 ? "low" : "normal");
    p.row("Owner", t.owner);
    if (t.completed) p.row("Completed", day(*t.completed));
    if (t.recurrence) p.row("Recurrence", describeRecurrence(*t.recurrence));
    p.row("Categories", joined(t.categories));
    return p.finish(t.body);
}

std::string contactPage(const ContactFields& c) {
    Page p(c.displayName);
    if (!c.picture.empty())
        p.html().insert(p.html().find("<table"), std::string("<img src=\"cid:") +
                                                     kContactPictureId +
                                                     "\" width=\"96\" style=\"float: right\">");
    std::string name;
    for (const std::string* part : {&c.prefix, &c.givenName, &c.middleName, &c.surname, &c.suffix})
        if (!part->empty()) name += (name.empty() ? "" : " ") + *part;
    if (name != c.displayName) p.row("Name", name);
    p.row("Nickname", c.nickname);
    p.row("File as", c.fileAs);
    p.row("Company", c.company);
    p.row("Department", c.department);
    p.row("Job title", c.title);
    p.row("Office", c.office);
    for (const ContactEmail& e : c.emails)
        p.rawRow("E-mail", "<a href=\"mailto:" + escape(e.address) + "\">" + escape(e.address) +
                               "</a>" +
                               (e.displayName.empty() || e.displayName == e.address
                                    ? ""
                                    : " (" + escape(e.displayName) + ")"));
    for (const ContactPhone& ph : c.phones)
        p.row(("Phone (" + ph.type + ")").c_str(), ph.number);
    for (const ContactAddress& a : c.addresses) {
        std::string text;
        for (const std::string* part : {&a.street, &a.poBox})
            if (!part->empty()) text += (text.empty() ? "" : "\n") + *part;
        std::string town = a.postalCode + (a.postalCode.empty() ? "" : " ") + a.city;
        if (!a.region.empty()) town += (town.empty() ? "" : ", ") + a.region;
        for (const std::string* part : {static_cast<const std::string*>(&town), &a.country})
            if (!part->empty()) text += (text.empty() ? "" : "\n") + *part;
        p.row(a.type == "work"   ? "Business address"
              : a.type == "home" ? "Home address"
                                 : "Other address",
              text);
    }
    p.row("Web page", c.webPage);
    p.row("Home page", c.homePage);
    p.row("IM address", c.imAddress);
    if (c.birthday) p.row("Birthday", day(*c.birthday));
    if (c.anniversary) p.row("Anniversary", day(*c.anniversary));
    p.row("Spouse", c.spouse);
    p.row("Manager", c.manager);
    p.row("Assistant", c.assistant);
    p.row("Categories", joined(c.categories));
    return p.finish(c.notes);
}

std::string listPage(const DistListFields& l) {
    Page p(l.name);
    std::string members = "<ul style=\"margin: 0\">";
    for (const DistListMember& m : l.members)
        members += "<li>" + escape(person(m.name, m.address)) + "</li>";
    p.rawRow(("Members (" + std::to_string(l.members.size()) + ")").c_str(), members + "</ul>");
    p.row("Categories", joined(l.categories));
    return p.finish(l.notes);
}

std::string journalPage(const ItemSummary& row, const JournalFields& j) {
    Page p(j.subject.empty() ? row.subjectText : j.subject);
    p.row("Type", j.type);
    if (j.start) p.row("Start", when(*j.start));
    if (j.durationMinutes) p.row("Duration", std::to_string(*j.durationMinutes) + " minutes");
    p.row("Companies", joined(j.companies));
    p.row("Contacts", joined(j.contacts));
    p.row("Categories", joined(j.categories));
    return p.finish(j.body);
}

}  // namespace

std::string itemDetailsPage(const ItemSummary& row, const ItemDetails& d) {
    if (d.appointment) return appointmentPage(row, *d.appointment);
    if (d.task) return taskPage(row, *d.task);
    if (d.contact) return contactPage(*d.contact);
    if (d.distList) return listPage(*d.distList);
    if (d.journal) return journalPage(row, *d.journal);
    return {};
}

}  // namespace brevik::views
