#include "message/calendar_time.h"

#include <algorithm>

#include "message/text.h"

namespace brevik {
namespace {

constexpr std::int64_t kMinutesPerDay = 1440;
// Days from 0000-03-01 (the proleptic Gregorian era the arithmetic below counts from) to
// 1601-01-01.
constexpr std::int64_t kDaysTo1601 = 584694;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

int daysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[(month - 1) % 12];
}

TransitionTime transition(ByteView d, std::size_t at) {
    TransitionTime t;
    t.year = get16(d, at);
    t.month = get16(d, at + 2);
    t.dayOfWeek = get16(d, at + 4);
    t.day = get16(d, at + 6);
    t.hour = get16(d, at + 8);
    t.minute = get16(d, at + 10);
    return t;
}

}  // namespace

std::int64_t daysFromCivil(int year, int month, int day) {
    // Years counted from March, so that the leap day ends a year.
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - kDaysTo1601;
}

CivilTime civilFromDays(std::int64_t days) {
    const std::int64_t z = days + kDaysTo1601;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0));
    return t;
}

int weekday(std::int64_t days) {
    // 1601-01-01 was a Monday.
    return static_cast<int>(((days % 7) + 8) % 7);
}

CivilTime civilFromMinutes(std::int64_t minutes) {
    const std::int64_t days = floorDiv(minutes, kMinutesPerDay);
    CivilTime t = civilFromDays(days);
    const std::int64_t inDay = minutes - days * kMinutesPerDay;
    t.hour = static_cast<int>(inDay / 60);
    t.minute = static_cast<int>(inDay % 60);
    return t;
}

std::int64_t minutesFromCivil(const CivilTime& t) {
    return daysFromCivil(t.year, t.month, t.day) * kMinutesPerDay + t.hour * 60 + t.minute;
}

std::int64_t TimeZoneRule::transitionMinutes(const TransitionTime& t, int year) {
    const int month = t.month >= 1 && t.month <= 12 ? t.month : 1;
    int day;
    if (t.year != 0) {
        day = t.day >= 1 && t.day <= daysInMonth(year, month) ? t.day : 1;
    } else {
        const std::int64_t first = daysFromCivil(year, month, 1);
        const int firstWeekday = weekday(first);
        day = 1 + (t.dayOfWeek % 7 - firstWeekday + 7) % 7;
        const int week = t.day >= 1 && t.day <= 5 ? t.day : 5;
        day += 7 * (week - 1);
        while (day > daysInMonth(year, month))
            day -= 7;
    }
    return daysFromCivil(year, month, day) * kMinutesPerDay + (t.hour % 24) * 60 + t.minute % 60;
}

std::int32_t TimeZoneRule::offsetAtLocal(std::int64_t local) const {
    const std::int32_t standard = -(bias + standardBias);
    if (!hasDaylight()) return standard;
    const int year = civilFromMinutes(local).year;
    const std::int64_t begin = transitionMinutes(daylightDate, year);
    const std::int64_t end = transitionMinutes(standardDate, year);
    // Southern zones have daylight time across the new year.
    const bool daylight =
        begin < end ? (local >= begin && local < end) : (local >= begin || local < end);
    return daylight ? -(bias + daylightBias) : standard;
}

std::int32_t TimeZoneRule::offsetAtUtc(std::int64_t utc) const {
    // Transitions are given in local time: look at the local time standard time would show.
    return offsetAtLocal(utc - (bias + standardBias));
}

std::optional<TimeZoneRule> parseTimeZoneStruct(ByteView d) {
    if (d.size() < 48) return std::nullopt;
    TimeZoneRule r;
    r.bias = static_cast<std::int32_t>(load32(d.data()));
    r.standardBias = static_cast<std::int32_t>(load32(d.data() + 4));
    r.daylightBias = static_cast<std::int32_t>(load32(d.data() + 8));
    r.standardDate = transition(d, 14);
    r.daylightDate = transition(d, 32);
    // Offsets beyond a day are not a time zone.
    for (std::int32_t b : {r.bias, r.standardBias, r.daylightBias})
        if (b < -1440 || b > 1440) return std::nullopt;
    if (r.standardDate.month > 12 || r.daylightDate.month > 12) return std::nullopt;
    return r;
}

std::optional<TimeZoneDefinition> parseTimeZoneDefinition(ByteView d) {
    constexpr std::size_t kRuleSize = 66;
    constexpr std::uint16_t kEffective = 0x0002;
    if (!fits(d, 0, 6)) return std::nullopt;
    const std::size_t rulesAt = 4 + std::size_t{load16(d.data() + 2)};
    const std::size_t chars = get16(d, 6);
    TimeZoneDefinition def;
    if (fits(d, 8, chars * 2)) def.keyName = utf16ToUtf8(d.data() + 8, chars * 2);
    if (!fits(d, rulesAt - 2, 2)) return std::nullopt;
    const std::size_t count = load16(d.data() + rulesAt - 2);
    std::optional<TimeZoneRule> chosen;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = rulesAt + i * kRuleSize;
        if (!fits(d, at, kRuleSize)) break;
        // A rule holds flags, a year and reserved bytes, then a PidLidTimeZoneStruct's fields.
        std::uint8_t zone[48] = {};
        std::copy_n(d.data() + at + 22, 12, zone);       // the three biases
        std::copy_n(d.data() + at + 34, 16, zone + 14);  // standard date
        std::copy_n(d.data() + at + 50, 16, zone + 32);  // daylight date
        const auto rule = parseTimeZoneStruct(ByteView(zone, sizeof zone));
        if (!rule) continue;
        chosen = rule;
        if (load16(d.data() + at + 4) & kEffective) break;
    }
    if (!chosen) return std::nullopt;
    def.rule = *chosen;
    return def;
}

}  // namespace brevik
