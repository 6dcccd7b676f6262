// Recurrence patterns of appointments and tasks ([MS-OXOCAL] RecurrencePattern and
// AppointmentRecurrencePattern): decoded into a rule with its end, deleted occurrences and
// changed ones, and told as a sentence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/bytes.h"

namespace brevik {

enum class RecurrenceFrequency : std::uint8_t { Daily, Weekly, Monthly, Yearly };
enum class RecurrenceEnd : std::uint8_t { Never, AfterCount, ByDate };

// A changed occurrence. Times are minutes since 1601 in the item's time zone.
struct RecurrenceException {
    std::int64_t originalStart = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::optional<std::string> subject;
    std::optional<std::string> location;
    std::optional<std::uint32_t> busyStatus;
};

struct RecurrenceRule {
    RecurrenceFrequency frequency = RecurrenceFrequency::Daily;
    std::uint32_t interval = 1;     // in days, weeks, months or years
    std::uint8_t weekDays = 0;      // bit 0 Sunday .. bit 6 Saturday
    std::uint32_t dayOfMonth = 0;   // 1..31 for a fixed day
    std::uint32_t weekOfMonth = 0;  // 1..4, 5 the last, for "the second Tuesday"
    std::uint32_t monthOfYear = 0;  // 1..12, yearly rules
    bool lastDayOfMonth = false;
    RecurrenceEnd end = RecurrenceEnd::Never;
    std::uint32_t count = 0;  // occurrences, with AfterCount
    std::uint32_t firstDayOfWeek = 0;
    std::int64_t startDate = 0;              // minutes since 1601 at local midnight
    std::int64_t endDate = 0;                // the last day, with AfterCount or ByDate
    std::vector<std::int64_t> deletedDates;  // original days (midnight) of deleted or moved ones
    // Appointments only: the time of day of every occurrence, and the changed ones.
    bool hasTimes = false;
    std::uint32_t startOffset = 0;  // minutes after midnight
    std::uint32_t endOffset = 0;
    std::vector<RecurrenceException> exceptions;

    // Deleted occurrences that were not moved elsewhere: those an EXDATE names.
    std::vector<std::int64_t> removedDates() const;
};

// Decodes a pattern; appointment patterns (their second part) fill the times and exceptions
// too. Null when the blob is too short, names an unknown frequency or pattern, or its counts
// do not fit in it. Exceptions whose strings do not fit are dropped.
std::optional<RecurrenceRule> parseRecurrence(ByteView blob);

// "Every Monday from 9:00 to 9:30, from 3 January 2022 until 26 December 2022", "Every 2 days,
// 10 times, from ...", "Every month on the last Friday ...", "Every year on 4 July ...".
std::string describeRecurrence(const RecurrenceRule& rule);

}  // namespace brevik
