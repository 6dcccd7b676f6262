#include "message/recurrence.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "message/calendar_time.h"
#include "message/text.h"

namespace brevik {
namespace {

constexpr std::uint16_t kDaily = 0x200A;
constexpr std::uint16_t kWeekly = 0x200B;
constexpr std::uint16_t kMonthly = 0x200C;
constexpr std::uint16_t kYearly = 0x200D;

constexpr std::uint16_t kPatternDay = 0x0;
constexpr std::uint16_t kPatternWeek = 0x1;
constexpr std::uint16_t kPatternMonth = 0x2;
constexpr std::uint16_t kPatternMonthNth = 0x3;
constexpr std::uint16_t kPatternMonthEnd = 0x4;
constexpr std::uint16_t kPatternHjMonth = 0xA;
constexpr std::uint16_t kPatternHjMonthNth = 0xB;
constexpr std::uint16_t kPatternHjMonthEnd = 0xC;

constexpr std::uint32_t kEndAfterDate = 0x2021;
constexpr std::uint32_t kEndAfterCount = 0x2022;

constexpr std::uint16_t kOverrideSubject = 0x0001;
constexpr std::uint16_t kOverrideMeetingType = 0x0002;
constexpr std::uint16_t kOverrideReminderDelta = 0x0004;
constexpr std::uint16_t kOverrideReminder = 0x0008;
constexpr std::uint16_t kOverrideLocation = 0x0010;
constexpr std::uint16_t kOverrideBusyStatus = 0x0020;
constexpr std::uint16_t kOverrideAttachment = 0x0040;
constexpr std::uint16_t kOverrideSubType = 0x0080;
constexpr std::uint16_t kOverrideColor = 0x0100;

// Ranges beyond these are damage: no calendar repeats that often or keeps that many dates.
constexpr std::uint32_t kMaxInstanceDates = 100000;
constexpr std::uint32_t kWriterWithHighlight = 0x3009;

// Reads little-endian fields in order; once a read does not fit, every later one fails too.
class Cursor {
  public:
    explicit Cursor(ByteView data) : data_(data) {}
    bool ok() const { return ok_; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(take(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(take(4)); }
    ByteView bytes(std::size_t n) {
        if (!ok_ || !fits(data_, at_, n)) {
            ok_ = false;
            return {};
        }
        const ByteView v = data_.subspan(at_, n);
        at_ += n;
        return v;
    }
    void skip(std::size_t n) { bytes(n); }
    bool atEnd() const { return at_ >= data_.size(); }

  private:
    std::uint64_t take(std::size_t n) {
        const ByteView v = bytes(n);
        if (v.empty()) return 0;
        return n == 2 ? load16(v.data()) : load32(v.data());
    }
    ByteView data_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

bool readDates(Cursor& c, std::vector<std::int64_t>& out) {
    const std::uint32_t n = c.u32();
    if (!c.ok() || n > kMaxInstanceDates) return false;
    out.reserve(n);
    for (std::uint32_t i = 0; i < n && c.ok(); ++i)
        out.push_back(c.u32());
    return c.ok();
}

// One ExceptionInfo; false when it does not fit.
bool readException(Cursor& c, RecurrenceException& e, std::uint16_t& flags) {
    e.start = c.u32();
    e.end = c.u32();
    e.originalStart = c.u32();
    flags = c.u16();
    auto ansi = [&c]() {
        c.u16();  // length with terminator
        const std::uint16_t length = c.u16();
        const ByteView s = c.bytes(length);
        return codepageToUtf8(s.data(), s.size(), 1252);
    };
    if (flags & kOverrideSubject) e.subject = ansi();
    for (std::uint16_t f : {kOverrideMeetingType, kOverrideReminderDelta, kOverrideReminder}) {
        if (flags & f) c.u32();
    }
    if (flags & kOverrideLocation) e.location = ansi();
    if (flags & kOverrideBusyStatus) e.busyStatus = c.u32();
    for (std::uint16_t f : {kOverrideAttachment, kOverrideSubType, kOverrideColor})
        if (flags & f) c.u32();
    return c.ok();
}

// One ExtendedException: the subject and location in UTF-16, which replace the 8-bit ones.
bool readExtended(Cursor& c, RecurrenceException& e, std::uint16_t flags, std::uint32_t writer) {
    if (writer >= kWriterWithHighlight) c.skip(c.u32());
    c.skip(c.u32());
    if (!(flags & (kOverrideSubject | kOverrideLocation))) return c.ok();
    c.skip(12);  // start, end and original start again
    auto wide = [&c]() {
        const std::uint16_t chars = c.u16();
        const ByteView s = c.bytes(std::size_t{chars} * 2);
        return utf16ToUtf8(s.data(), s.size());
    };
    std::optional<std::string> subject, location;
    if (flags & kOverrideSubject) subject = wide();
    if (flags & kOverrideLocation) location = wide();
    c.skip(c.u32());
    if (!c.ok()) return false;
    if (subject) e.subject = subject;
    if (location) e.location = location;
    return true;
}

const std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
const std::array<const char*, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};
const std::array<const char*, 5> kOrdinals = {"first", "second", "third", "fourth", "last"};

std::string joinWords(const std::vector<std::string>& words) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) out += i + 1 == words.size() ? " and " : ", ";
        out += words[i];
    }
    return out;
}

std::string dayList(std::uint8_t mask) {
    if (mask == 0x3E) return "weekday";
    std::vector<std::string> days;
    for (int d = 0; d < 7; ++d)
        if (mask & (1 << d)) days.push_back(kDayNames[d]);
    return joinWords(days);
}

std::string dateText(std::int64_t minutes) {
    const CivilTime t = civilFromMinutes(minutes);
    return std::to_string(t.day) + " " + kMonthNames[(t.month - 1) % 12] + " " +
           std::to_string(t.year);
}

std::string clockText(std::uint32_t minutes) {
    minutes %= 1440;
    const std::uint32_t m = minutes % 60;
    return std::to_string(minutes / 60) + ":" + (m < 10 ? "0" : "") + std::to_string(m);
}

std::string plural(std::uint32_t n, const char* unit) {
    return n == 1 ? std::string(unit) : std::to_string(n) + " " + unit + "s";
}

}  // namespace

std::vector<std::int64_t> RecurrenceRule::removedDates() const {
    std::unordered_set<std::int64_t> movedDays;
    for (const RecurrenceException& e : exceptions)
        movedDays.insert(e.originalStart / 1440);
    std::vector<std::int64_t> out;
    for (std::int64_t d : deletedDates)
        if (!movedDays.count(d / 1440)) out.push_back(d);
    return out;
}

std::optional<RecurrenceRule> parseRecurrence(ByteView blob) {
    Cursor c(blob);
    c.u16();  // reader version
    c.u16();  // writer version
    const std::uint16_t frequency = c.u16();
    const std::uint16_t pattern = c.u16();
    c.u16();  // calendar type
    c.u32();  // first date-time
    const std::uint32_t period = c.u32();
    c.u32();  // sliding flag (tasks)
    if (!c.ok()) return std::nullopt;

    RecurrenceRule r;
    switch (pattern) {
        case kPatternDay:
            break;
        case kPatternWeek:
            r.weekDays = static_cast<std::uint8_t>(c.u32() & 0x7F);
            break;
        case kPatternMonth:
        case kPatternHjMonth:
            r.dayOfMonth = c.u32();
            break;
        case kPatternMonthEnd:
        case kPatternHjMonthEnd:
            c.u32();
            r.lastDayOfMonth = true;
            break;
        case kPatternMonthNth:
        case kPatternHjMonthNth:
            r.weekDays = static_cast<std::uint8_t>(c.u32() & 0x7F);
            r.weekOfMonth = c.u32();
            if (r.weekOfMonth < 1 || r.weekOfMonth > 5) return std::nullopt;
            break;
        default:
            return std::nullopt;
    }
    switch (frequency) {
        case kDaily:
            // "Every weekday" is a daily pattern of weekly type.
            if (pattern == kPatternWeek) {
                r.frequency = RecurrenceFrequency::Weekly;
                r.interval = period;
            } else {
                r.frequency = RecurrenceFrequency::Daily;
                r.interval = period / 1440;
            }
            break;
        case kWeekly:
            r.frequency = RecurrenceFrequency::Weekly;
            r.interval = period;
            break;
        case kMonthly:
            r.frequency = RecurrenceFrequency::Monthly;
            r.interval = period;
            break;
        case kYearly:
            r.frequency = RecurrenceFrequency::Yearly;
            r.interval = period / 12;
            break;
        default:
            return std::nullopt;
    }
    if (r.interval == 0) r.interval = 1;
    if (r.frequency == RecurrenceFrequency::Weekly && r.weekDays == 0) return std::nullopt;

    const std::uint32_t endType = c.u32();
    r.count = c.u32();
    r.firstDayOfWeek = c.u32() % 7;
    std::vector<std::int64_t> modified;
    if (!readDates(c, r.deletedDates) || !readDates(c, modified)) return std::nullopt;
    r.startDate = c.u32();
    r.endDate = c.u32();
    if (!c.ok()) return std::nullopt;
    r.end = endType == kEndAfterDate    ? RecurrenceEnd::ByDate
            : endType == kEndAfterCount ? RecurrenceEnd::AfterCount
                                        : RecurrenceEnd::Never;
    if (r.frequency == RecurrenceFrequency::Yearly)
        r.monthOfYear = static_cast<std::uint32_t>(civilFromMinutes(r.startDate).month);

    // An appointment's pattern goes on with the time of day and the changed occurrences.
    if (c.atEnd()) return r;
    c.u32();  // reader version 2
    const std::uint32_t writer = c.u32();
    const std::uint32_t startOffset = c.u32();
    const std::uint32_t endOffset = c.u32();
    const std::uint16_t exceptionCount = c.u16();
    if (!c.ok()) return r;
    r.hasTimes = true;
    r.startOffset = startOffset;
    r.endOffset = endOffset;
    std::vector<std::uint16_t> flags;
    for (std::uint16_t i = 0; i < exceptionCount; ++i) {
        RecurrenceException e;
        std::uint16_t f = 0;
        if (!readException(c, e, f)) return r;  // the rest does not fit: keep those read
        r.exceptions.push_back(std::move(e));
        flags.push_back(f);
    }
    c.skip(c.u32());  // reserved block 1
    for (std::size_t i = 0; i < r.exceptions.size(); ++i) {
        Cursor before = c;
        if (!readExtended(c, r.exceptions[i], flags[i], writer)) {
            c = before;
            break;
        }
    }
    return r;
}

std::string describeRecurrence(const RecurrenceRule& r) {
    std::string s = "Every ";
    switch (r.frequency) {
        case RecurrenceFrequency::Daily:
            s += plural(r.interval, "day");
            break;
        case RecurrenceFrequency::Weekly:
            if (r.interval == 1)
                s += dayList(r.weekDays);
            else
                s += std::to_string(r.interval) + " weeks on " + dayList(r.weekDays);
            break;
        case RecurrenceFrequency::Monthly:
        case RecurrenceFrequency::Yearly: {
            const bool yearly = r.frequency == RecurrenceFrequency::Yearly;
            s += plural(r.interval, yearly ? "year" : "month") + " on ";
            const std::string month =
                yearly && r.monthOfYear >= 1 ? kMonthNames[(r.monthOfYear - 1) % 12] : "";
            if (r.weekOfMonth)
                s += "the " + std::string(kOrdinals[r.weekOfMonth - 1]) + " " +
                     dayList(r.weekDays) + (yearly ? " of " + month : "");
            else if (r.lastDayOfMonth)
                s += "the last day" + (yearly ? " of " + month : std::string());
            else if (yearly)
                s += std::to_string(r.dayOfMonth) + " " + month;
            else
                s += "day " + std::to_string(r.dayOfMonth);
            break;
        }
    }
    if (r.hasTimes) s += " from " + clockText(r.startOffset) + " to " + clockText(r.endOffset);
    s += ", from " + dateText(r.startDate);
    if (r.end == RecurrenceEnd::ByDate)
        s += " until " + dateText(r.endDate);
    else if (r.end == RecurrenceEnd::AfterCount)
        s += ", " + std::to_string(r.count) + (r.count == 1 ? " time" : " times");
    return s;
}

}  // namespace brevik
