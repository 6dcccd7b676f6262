#include "writers/ics/ics_writer.h"

#include <libical/ical.h>

#include <cctype>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "engine/filetime.h"
#include "message/calendar_time.h"
#include "message/contact.h"

namespace brevik::ics {
namespace {

constexpr const char* kProductId = "-//Brevik//Recovered items//EN";
constexpr const char* kNoAddress = "mailto:unknown@unknown.invalid";
const char* const kDayCodes[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

std::int64_t filetimeMinutes(std::uint64_t ft) {
    return static_cast<std::int64_t>(ft / kTicksPerMinute);
}

icaltimetype fromCivil(const CivilTime& c, bool isDate) {
    icaltimetype t = icaltime_null_time();
    t.year = c.year;
    t.month = c.month;
    t.day = c.day;
    if (isDate) {
        t.is_date = 1;
    } else {
        t.hour = c.hour;
        t.minute = c.minute;
        t.second = c.second;
    }
    return t;
}

icaltimetype utcTime(std::uint64_t ft) {
    const std::uint64_t seconds = ft / filetime::kTicksPerSecond;
    CivilTime c = civilFromMinutes(static_cast<std::int64_t>(seconds / 60));
    c.second = static_cast<int>(seconds % 60);
    icaltimetype t = fromCivil(c, false);
    t.zone = icaltimezone_get_utc_timezone();
    return t;
}

std::string mailto(const std::string& address) {
    return address.empty() ? kNoAddress : "mailto:" + address;
}

void add(icalcomponent* c, icalproperty* p) {
    if (p) icalcomponent_add_property(c, p);
}

void addText(icalcomponent* c, icalproperty* (*make)(const char*), const std::string& text) {
    if (!text.empty()) add(c, make(text.c_str()));
}

void addCategories(icalcomponent* c, const std::vector<std::string>& categories) {
    for (const std::string& category : categories)
        addText(c, icalproperty_new_categories, category);
}

// Times in an event's own zone when it names one, else in UTC.
class Clock {
  public:
    Clock(const std::optional<TimeZoneRule>& zone, std::string tzid)
        : zone_(zone), tzid_(std::move(tzid)) {}
    bool zoned() const { return zone_.has_value(); }
    const std::string& tzid() const { return tzid_; }

    // A local minute as a property value with TZID, or in UTC without a zone.
    icalproperty* at(icalproperty* (*make)(icaltimetype), std::int64_t localMinutes,
                     bool isDate) const {
        if (isDate || !zone_) {
            // Without a zone an all-day time is some midnight moved to UTC: the nearest
            // midnight is its day.
            const std::int64_t m = isDate && !zone_ ? localMinutes + 720 : localMinutes;
            icaltimetype t = fromCivil(civilFromMinutes(m), isDate);
            if (!isDate) t.zone = icaltimezone_get_utc_timezone();
            return make(t);
        }
        icalproperty* p = make(fromCivil(civilFromMinutes(localMinutes), false));
        icalproperty_add_parameter(p, icalparameter_new_tzid(tzid_.c_str()));
        return p;
    }
    std::int64_t local(std::uint64_t utcFiletime) const {
        const std::int64_t m = filetimeMinutes(utcFiletime);
        return zone_ ? m + zone_->offsetAtUtc(m) : m;
    }
    std::int64_t utcOf(std::int64_t localMinutes) const {
        return zone_ ? localMinutes - zone_->offsetAtLocal(localMinutes) : localMinutes;
    }

  private:
    std::optional<TimeZoneRule> zone_;
    std::string tzid_;
};

std::string offsetText(std::int32_t minutes) {
    const char sign = minutes < 0 ? '-' : '+';
    const std::int32_t a = std::abs(minutes);
    char b[8];
    std::snprintf(b, sizeof b, "%c%02d%02d", sign, a / 60 % 100, a % 60);
    return b;
}

// The RRULE part naming "the n-th weekday" of a transition or a monthly pattern.
std::string nthDay(std::uint32_t week, std::uint8_t days) {
    std::string byDay;
    int count = 0;
    for (int d = 0; d < 7; ++d)
        if (days & (1 << d)) {
            byDay += std::string(byDay.empty() ? "" : ",") + kDayCodes[d];
            ++count;
        }
    const std::string position = week >= 5 ? "-1" : std::to_string(week);
    if (count == 1) return "BYDAY=" + position + byDay;
    return "BYDAY=" + byDay + ";BYSETPOS=" + position;
}

icalcomponent* timezoneComponent(const TimeZoneRule& z, const std::string& tzid) {
    icalcomponent* tz = icalcomponent_new_vtimezone();
    add(tz, icalproperty_new_tzid(tzid.c_str()));
    const std::int32_t standard = -(z.bias + z.standardBias);
    const std::int32_t daylight = -(z.bias + z.daylightBias);
    auto observance = [&](icalcomponent* part, const TransitionTime& t, std::int32_t from,
                          std::int32_t to) {
        if (t.month == 0) {
            add(part, icalproperty_new_dtstart(fromCivil(civilFromMinutes(0), false)));
        } else {
            const std::int64_t first = TimeZoneRule::transitionMinutes(t, 1601);
            add(part, icalproperty_new_dtstart(fromCivil(civilFromMinutes(first), false)));
            if (t.year == 0) {
                const std::string rule =
                    "FREQ=YEARLY;BYMONTH=" + std::to_string(t.month) + ";" +
                    nthDay(t.day, static_cast<std::uint8_t>(1 << (t.dayOfWeek % 7)));
                add(part, icalproperty_new_rrule(icalrecurrencetype_from_string(rule.c_str())));
            }
        }
        add(part, icalproperty_new_tzoffsetfrom(from * 60));
        add(part, icalproperty_new_tzoffsetto(to * 60));
        icalcomponent_add_component(tz, part);
    };
    if (z.hasDaylight()) {
        observance(icalcomponent_new_xstandard(), z.standardDate, daylight, standard);
        observance(icalcomponent_new_xdaylight(), z.daylightDate, standard, daylight);
    } else {
        observance(icalcomponent_new_xstandard(), TransitionTime{}, standard, standard);
    }
    return tz;
}

std::string ruleText(const RecurrenceRule& r, const Clock& clock, bool allDay) {
    static const char* const kFrequency[] = {"DAILY", "WEEKLY", "MONTHLY", "YEARLY"};
    std::string s = std::string("FREQ=") + kFrequency[static_cast<int>(r.frequency)];
    if (r.interval > 1) s += ";INTERVAL=" + std::to_string(r.interval);
    switch (r.frequency) {
        case RecurrenceFrequency::Daily:
            break;
        case RecurrenceFrequency::Weekly: {
            std::string days;
            for (int d = 0; d < 7; ++d)
                if (r.weekDays & (1 << d))
                    days += std::string(days.empty() ? "" : ",") + kDayCodes[d];
            s += ";BYDAY=" + days + ";WKST=" + kDayCodes[r.firstDayOfWeek % 7];
            break;
        }
        case RecurrenceFrequency::Monthly:
        case RecurrenceFrequency::Yearly:
            if (r.frequency == RecurrenceFrequency::Yearly && r.monthOfYear)
                s += ";BYMONTH=" + std::to_string(r.monthOfYear);
            if (r.weekOfMonth)
                s += ";" + nthDay(r.weekOfMonth, r.weekDays);
            else if (r.lastDayOfMonth)
                s += ";BYMONTHDAY=-1";
            else if (r.dayOfMonth >= 1 && r.dayOfMonth <= 31)
                s += ";BYMONTHDAY=" + std::to_string(r.dayOfMonth);
            break;
    }
    if (r.end == RecurrenceEnd::AfterCount && r.count > 0) {
        s += ";COUNT=" + std::to_string(r.count);
    } else if (r.end != RecurrenceEnd::Never) {
        // The last day, to its end: UNTIL is in UTC for a zoned start, a date for an all-day one.
        const CivilTime day = civilFromMinutes(r.endDate);
        char b[32];
        if (allDay) {
            std::snprintf(b, sizeof b, "%04d%02d%02d", day.year, day.month, day.day);
        } else {
            const CivilTime u = civilFromMinutes(clock.utcOf(r.endDate + 1439));
            std::snprintf(b, sizeof b, "%04d%02d%02dT%02d%02d59Z", u.year, u.month, u.day, u.hour,
                          u.minute);
        }
        s += std::string(";UNTIL=") + b;
    }
    return s;
}

icalparameter_partstat partstat(AttendeeResponse r) {
    switch (r) {
        case AttendeeResponse::Accepted:
        case AttendeeResponse::Organized:
            return ICAL_PARTSTAT_ACCEPTED;
        case AttendeeResponse::Declined:
            return ICAL_PARTSTAT_DECLINED;
        case AttendeeResponse::Tentative:
            return ICAL_PARTSTAT_TENTATIVE;
        default:
            return ICAL_PARTSTAT_NEEDSACTION;
    }
}

void addAlarm(icalcomponent* c, bool set, std::optional<std::int32_t> minutes) {
    if (!set) return;
    icalcomponent* alarm = icalcomponent_new_valarm();
    add(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    add(alarm, icalproperty_new_description("Reminder"));
    icaltriggertype trigger;
    trigger.time = icaltime_null_time();
    trigger.duration = icaldurationtype_from_int(-60 * std::max(0, minutes.value_or(15)));
    add(alarm, icalproperty_new_trigger(trigger));
    icalcomponent_add_component(c, alarm);
}

}  // namespace

struct CalendarFile::Impl {
    icalcomponent* calendar = nullptr;
    std::unordered_set<std::string> uids;
    std::unordered_map<std::string, int> nextCopy;
    std::unordered_map<std::string, std::string> zones;  // rule -> TZID
    std::unordered_set<std::string> tzids;
    bool cancel = false;
    bool method = false;
    std::optional<AttendeeResponse> reply;

    std::string uniqueUid(const std::string& uid) {
        if (uids.insert(uid).second) return uid;
        // Copies of one item (a deleted one beside the live one) each get the next number.
        for (int& n = nextCopy[uid];;) {
            std::string numbered = uid + "-" + std::to_string(++n + 1);
            if (uids.insert(numbered).second) return numbered;
        }
    }
    Clock clockFor(const std::optional<TimeZoneRule>& zone, const std::string& name) {
        if (!zone) return Clock(std::nullopt, {});
        // Named after the stored description; another rule under a name already taken gets a
        // number.
        std::string tzid =
            name.empty() ? "Zone " + offsetText(-(zone->bias + zone->standardBias)) : name;
        for (char& c : tzid)
            if (c == '"' || static_cast<unsigned char>(c) < 0x20) c = ' ';
        const std::string key = tzid + "|" + std::to_string(zone->bias) + "|" +
                                std::to_string(zone->standardBias) + "|" +
                                std::to_string(zone->daylightBias) + "|" +
                                std::to_string(zone->daylightDate.month) + "|" +
                                std::to_string(zone->standardDate.month);
        auto [it, added] = zones.emplace(key, tzid);
        if (added) {
            for (int n = 2; !tzids.insert(it->second).second; ++n)
                it->second = tzid + " (" + std::to_string(n) + ")";
            icalcomponent_add_component(calendar, timezoneComponent(*zone, it->second));
        }
        return Clock(zone, it->second);
    }
};

CalendarFile::CalendarFile(const char* method) : impl_(std::make_unique<Impl>()) {
    impl_->calendar = icalcomponent_new_vcalendar();
    add(impl_->calendar, icalproperty_new_version("2.0"));
    add(impl_->calendar, icalproperty_new_prodid(kProductId));
    if (method)
        add(impl_->calendar, icalproperty_new_method(icalproperty_string_to_method(method)));
    impl_->method = method != nullptr;
}

CalendarFile::~CalendarFile() {
    icalcomponent_free(impl_->calendar);
}

std::string CalendarFile::text() const {
    char* s = icalcomponent_as_ical_string_r(impl_->calendar);
    std::string out = s ? s : "";
    std::free(s);
    return out;
}

void CalendarFile::addAppointment(const AppointmentFields& a, const std::string& fallbackUid) {
    const std::string uid = impl_->uniqueUid(a.uid.empty() ? fallbackUid : a.uid);
    const Clock clock = impl_->clockFor(a.timeZone, a.timeZoneName);
    const std::uint64_t stamp = a.modified.value_or(a.created.value_or(filetime::kUnixEpochTicks));
    auto event = [&](const std::string& summary, const std::string& location) {
        icalcomponent* e = icalcomponent_new_vevent();
        add(e, icalproperty_new_uid(uid.c_str()));
        add(e, icalproperty_new_dtstamp(utcTime(stamp)));
        if (a.created) add(e, icalproperty_new_created(utcTime(*a.created)));
        if (a.modified) add(e, icalproperty_new_lastmodified(utcTime(*a.modified)));
        addText(e, icalproperty_new_summary, summary);
        addText(e, icalproperty_new_location, location);
        addText(e, icalproperty_new_description, a.body);
        // A name alone ("Unknown" often) tells an importer nothing; meeting mail needs one.
        if (!a.organizerAddress.empty() || (impl_->method && !a.organizerName.empty())) {
            icalproperty* o = icalproperty_new_organizer(mailto(a.organizerAddress).c_str());
            if (!a.organizerName.empty())
                icalproperty_add_parameter(o, icalparameter_new_cn(a.organizerName.c_str()));
            add(e, o);
        }
        std::vector<Attendee> attendees = a.attendees;
        // A reply names the one who answers, with the answer.
        if (impl_->reply)
            attendees = {Attendee{a.organizerName, a.organizerAddress, AttendeeRole::Required,
                                  *impl_->reply, false}};
        for (const Attendee& at : attendees) {
            if (at.organizer) continue;
            icalproperty* p = icalproperty_new_attendee(mailto(at.address).c_str());
            if (!at.name.empty())
                icalproperty_add_parameter(p, icalparameter_new_cn(at.name.c_str()));
            icalproperty_add_parameter(p, icalparameter_new_role(at.role == AttendeeRole::Optional
                                                                     ? ICAL_ROLE_OPTPARTICIPANT
                                                                 : at.role == AttendeeRole::Resource
                                                                     ? ICAL_ROLE_NONPARTICIPANT
                                                                     : ICAL_ROLE_REQPARTICIPANT));
            if (at.role == AttendeeRole::Resource)
                icalproperty_add_parameter(p, icalparameter_new_cutype(ICAL_CUTYPE_RESOURCE));
            icalproperty_add_parameter(p, icalparameter_new_partstat(partstat(at.response)));
            add(e, p);
        }
        const std::int32_t busy = a.busyStatus.value_or(2);
        add(e, icalproperty_new_transp(busy == 0 ? ICAL_TRANSP_TRANSPARENT : ICAL_TRANSP_OPAQUE));
        add(e, icalproperty_new_status(impl_->cancel ? ICAL_STATUS_CANCELLED
                                       : busy == 1   ? ICAL_STATUS_TENTATIVE
                                                     : ICAL_STATUS_CONFIRMED));
        addCategories(e, a.categories);
        addAlarm(e, a.reminderSet, a.reminderMinutes);
        return e;
    };

    icalcomponent* master = event(a.subject, a.location);
    if (a.start) {
        const std::int64_t start = clock.local(*a.start);
        add(master, clock.at(icalproperty_new_dtstart, start, a.allDay));
        if (a.end && *a.end >= *a.start)
            add(master, clock.at(icalproperty_new_dtend, clock.local(*a.end), a.allDay));
    }
    std::vector<icalcomponent*> changed;
    if (a.recurrence && a.start) {
        const RecurrenceRule& r = *a.recurrence;
        const std::string rule = ruleText(r, clock, a.allDay);
        const icalrecurrencetype recur = icalrecurrencetype_from_string(rule.c_str());
        if (recur.freq != ICAL_NO_RECURRENCE) add(master, icalproperty_new_rrule(recur));
        for (std::int64_t day : r.removedDates())
            add(master,
                clock.at(icalproperty_new_exdate, day + (a.allDay ? 0 : r.startOffset), a.allDay));
        for (const RecurrenceException& x : r.exceptions) {
            icalcomponent* e =
                event(x.subject.value_or(a.subject), x.location.value_or(a.location));
            add(e, clock.at(icalproperty_new_recurrenceid, x.originalStart, a.allDay));
            add(e, clock.at(icalproperty_new_dtstart, x.start, a.allDay));
            if (x.end >= x.start) add(e, clock.at(icalproperty_new_dtend, x.end, a.allDay));
            changed.push_back(e);
        }
    }
    icalcomponent_add_component(impl_->calendar, master);
    for (icalcomponent* e : changed)
        icalcomponent_add_component(impl_->calendar, e);
    ++items_;
}

void CalendarFile::addTask(const TaskFields& t, const std::string& fallbackUid) {
    icalcomponent* c = icalcomponent_new_vtodo();
    add(c, icalproperty_new_uid(impl_->uniqueUid(fallbackUid).c_str()));
    add(c, icalproperty_new_dtstamp(
               utcTime(t.modified.value_or(t.created.value_or(filetime::kUnixEpochTicks)))));
    addText(c, icalproperty_new_summary, t.subject);
    addText(c, icalproperty_new_description, t.body);
    // Task dates are days, kept at some midnight.
    auto day = [](std::uint64_t ft) {
        const CivilDate d = contactDate(ft);
        return fromCivil(CivilTime{d.year, d.month, d.day, 0, 0, 0}, true);
    };
    if (t.start) add(c, icalproperty_new_dtstart(day(*t.start)));
    if (t.due && (!t.start || *t.due >= *t.start)) add(c, icalproperty_new_due(day(*t.due)));
    const std::int32_t status = t.status.value_or(t.complete ? 2 : 0);
    add(c, icalproperty_new_status(status == 2   ? ICAL_STATUS_COMPLETED
                                   : status == 1 ? ICAL_STATUS_INPROCESS
                                   : status == 4 ? ICAL_STATUS_CANCELLED
                                                 : ICAL_STATUS_NEEDSACTION));
    if (t.percentComplete)
        add(c, icalproperty_new_percentcomplete(static_cast<int>(*t.percentComplete * 100 + 0.5)));
    if (t.importance)
        add(c, icalproperty_new_priority(*t.importance >= 2 ? 1 : *t.importance == 0 ? 9 : 5));
    if (t.completed) add(c, icalproperty_new_completed(utcTime(*t.completed)));
    if (!t.owner.empty()) add(c, icalproperty_new_comment(("Owner: " + t.owner).c_str()));
    addCategories(c, t.categories);
    if (t.recurrence && t.start) {
        const std::string rule = ruleText(*t.recurrence, Clock(std::nullopt, {}), true);
        const icalrecurrencetype recur = icalrecurrencetype_from_string(rule.c_str());
        if (recur.freq != ICAL_NO_RECURRENCE) add(c, icalproperty_new_rrule(recur));
    }
    icalcomponent_add_component(impl_->calendar, c);
    ++items_;
}

void CalendarFile::addJournal(const JournalFields& j, const std::string& fallbackUid) {
    icalcomponent* c = icalcomponent_new_vjournal();
    add(c, icalproperty_new_uid(impl_->uniqueUid(fallbackUid).c_str()));
    add(c, icalproperty_new_dtstamp(utcTime(j.created.value_or(filetime::kUnixEpochTicks))));
    addText(c, icalproperty_new_summary, j.subject);
    addText(c, icalproperty_new_description, j.body);
    if (j.start) add(c, icalproperty_new_dtstart(utcTime(*j.start)));
    std::string kind = j.type;
    if (j.durationMinutes)
        kind += (kind.empty() ? "" : ", ") + std::to_string(*j.durationMinutes) + " minutes";
    addText(c, icalproperty_new_comment, kind);
    for (const std::string& company : j.companies)
        addText(c, icalproperty_new_comment, "Company: " + company);
    for (const std::string& contact : j.contacts)
        addText(c, icalproperty_new_contact, contact);
    addCategories(c, j.categories);
    icalcomponent_add_component(impl_->calendar, c);
    ++items_;
}

std::string meetingCalendar(const AppointmentFields& a, ItemType type,
                            const std::string& messageClass, const std::string& uid) {
    const char* method = type == ItemType::MeetingRequest        ? "REQUEST"
                         : type == ItemType::MeetingResponse     ? "REPLY"
                         : type == ItemType::MeetingCancellation ? "CANCEL"
                                                                 : nullptr;
    if (!method) return {};
    CalendarFile file(method);
    file.impl_->cancel = type == ItemType::MeetingCancellation;
    if (type == ItemType::MeetingResponse) {
        std::string c = messageClass;
        for (char& ch : c)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        file.impl_->reply = c.ends_with(".pos")    ? AttendeeResponse::Accepted
                            : c.ends_with(".neg")  ? AttendeeResponse::Declined
                            : c.ends_with(".tent") ? AttendeeResponse::Tentative
                                                   : AttendeeResponse::None;
    }
    file.addAppointment(a, uid);
    return file.text();
}

}  // namespace brevik::ics
