// Calendar arithmetic for the times appointments and tasks store: FILETIMEs (UTC), minutes since
// 1601 in the item's own time zone (recurrence patterns), and the stored time zone rule
// ([MS-OXOCAL] PidLidTimeZoneStruct) that turns one into the other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/bytes.h"

namespace brevik {

struct CivilTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

inline constexpr std::int64_t kTicksPerMinute = 600000000;

// Days since 1601-01-01 and back; weekday 0 is Sunday.
std::int64_t daysFromCivil(int year, int month, int day);
CivilTime civilFromDays(std::int64_t days);
int weekday(std::int64_t days);

// Minutes since 1601-01-01 00:00 (of whatever clock) as a date and time.
CivilTime civilFromMinutes(std::int64_t minutes);
std::int64_t minutesFromCivil(const CivilTime& t);
inline CivilTime civilFromFiletime(std::uint64_t ticks) {
    return civilFromMinutes(static_cast<std::int64_t>(ticks / kTicksPerMinute));
}

// A SYSTEMTIME of a time zone rule: with year 0 it names "the day-th dayOfWeek of month" (day 5:
// the last), at hour:minute.
struct TransitionTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;  // 0: no daylight saving time
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
};

// Local time = UTC - (bias + standardBias), or - (bias + daylightBias) in daylight time.
struct TimeZoneRule {
    std::int32_t bias = 0;  // minutes
    std::int32_t standardBias = 0;
    std::int32_t daylightBias = 0;
    TransitionTime standardDate;  // when daylight time ends
    TransitionTime daylightDate;  // when it begins

    bool hasDaylight() const { return standardDate.month != 0 && daylightDate.month != 0; }
    // The local minute at which the given transition falls in `year`.
    static std::int64_t transitionMinutes(const TransitionTime& t, int year);
    // Offset of local time from UTC in minutes (local = UTC + offset) at the UTC minute given.
    std::int32_t offsetAtUtc(std::int64_t utcMinutes) const;
    // The same at a local minute.
    std::int32_t offsetAtLocal(std::int64_t localMinutes) const;
};

// PidLidTimeZoneStruct: 48 bytes. Null when shorter or its months are out of range.
std::optional<TimeZoneRule> parseTimeZoneStruct(ByteView data);

// A TZDEFINITION ([MS-OXOCAL] 2.2.1.41, PidLidAppointmentTimeZoneDefinitionStartDisplay and its
// kin): the rule marked effective (else the last one) and the zone's key name. Null when no
// rule fits in `data`.
struct TimeZoneDefinition {
    TimeZoneRule rule;
    std::string keyName;
};
std::optional<TimeZoneDefinition> parseTimeZoneDefinition(ByteView data);

}  // namespace brevik
