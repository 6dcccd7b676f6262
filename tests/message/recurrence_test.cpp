#include "message/recurrence.h"

#include <gtest/gtest.h>

#include <string>

#include "message/calendar_time.h"

namespace brevik {
namespace {

std::int64_t day(int y, int m, int d) {
    return minutesFromCivil({y, m, d, 0, 0, 0});
}

// Builds a pattern blob field by field, little-endian.
struct Blob {
    Bytes b;
    Blob& u16(std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    Blob& u32(std::uint64_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    Blob& bytes(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Blob& wide(const std::string& ascii) {
        u16(static_cast<std::uint32_t>(ascii.size()));
        for (char c : ascii)
            u16(static_cast<unsigned char>(c));
        return *this;
    }
};

// The pattern's first part: versions, frequency, type, calendar, first date-time, period,
// sliding flag, the type's own fields.
Blob head(std::uint16_t frequency, std::uint16_t pattern, std::uint32_t period) {
    Blob blob;
    blob.u16(0x3004).u16(0x3004).u16(frequency).u16(pattern).u16(0).u32(0).u32(period).u32(0);
    return blob;
}

TEST(RecurrenceTest, WeeklyOnTwoDaysWithAnEndDateADeletedAndAMovedOccurrence) {
    Blob blob = head(0x200B, 0x1, 1);
    blob.u32(0x12);                                          // Monday and Thursday
    blob.u32(0x2021).u32(0).u32(1);                          // ends by date, first day Monday
    blob.u32(2).u32(day(2022, 1, 6)).u32(day(2022, 1, 10));  // deleted or moved
    blob.u32(1).u32(day(2022, 1, 11));                       // moved to
    blob.u32(day(2022, 1, 3)).u32(day(2022, 12, 26));
    blob.u32(0x3006).u32(0x3009).u32(540).u32(570).u16(1);
    // The moved one: new start and end, original start, subject and location changed.
    blob.u32(day(2022, 1, 11) + 600).u32(day(2022, 1, 11) + 630).u32(day(2022, 1, 10) + 540);
    blob.u16(0x0011).u16(6).u16(5).bytes("Moved").u16(4).u16(3).bytes("Lab");
    blob.u32(0);                // reserved block 1
    blob.u32(4).u32(0).u32(0);  // change highlight, reserved EE1
    blob.u32(day(2022, 1, 11) + 600).u32(day(2022, 1, 11) + 630).u32(day(2022, 1, 10) + 540);
    blob.wide("Moved here").wide("Lab 2").u32(0);
    blob.u32(0);  // reserved block 2

    const auto r = parseRecurrence(blob.b);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->frequency, RecurrenceFrequency::Weekly);
    EXPECT_EQ(r->weekDays, 0x12);
    EXPECT_EQ(r->end, RecurrenceEnd::ByDate);
    EXPECT_EQ(r->removedDates(), std::vector<std::int64_t>{day(2022, 1, 6)});
    ASSERT_EQ(r->exceptions.size(), 1u);
    EXPECT_EQ(r->exceptions[0].subject, "Moved here");  // the UTF-16 copy wins
    EXPECT_EQ(r->exceptions[0].location, "Lab 2");
    EXPECT_EQ(r->exceptions[0].start, day(2022, 1, 11) + 600);
    EXPECT_EQ(describeRecurrence(*r),
              "Every Monday and Thursday from 9:00 to 9:30, from 3 January 2022 until 26 "
              "December 2022");

    // A damaged blob loses what does not fit, never more, and never reads past its end.
    for (std::size_t n = 0; n < blob.b.size(); ++n) {
        const auto cut = parseRecurrence(ByteView(blob.b.data(), n));
        if (cut) {
            EXPECT_EQ(cut->weekDays, 0x12);
        }
    }
    Blob huge = head(0x200B, 0x1, 1);
    huge.u32(0x02).u32(0x2023).u32(0).u32(0).u32(0xFFFFFFFF);
    EXPECT_FALSE(parseRecurrence(huge.b));
}

TEST(RecurrenceTest, MonthlyYearlyAndDailyPatternsReadAsRules) {
    Blob monthly = head(0x200C, 0x3, 1);
    monthly.u32(0x20).u32(5);  // the last Friday
    monthly.u32(0x2022).u32(10).u32(0).u32(0).u32(0).u32(day(2022, 1, 28)).u32(day(2022, 10, 28));
    const auto m = parseRecurrence(monthly.b);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->weekOfMonth, 5u);
    EXPECT_EQ(m->count, 10u);
    EXPECT_EQ(describeRecurrence(*m),
              "Every month on the last Friday, from 28 January 2022, 10 times");

    Blob yearly = head(0x200D, 0x2, 12);
    yearly.u32(4).u32(0x2023).u32(0).u32(0).u32(0).u32(0).u32(day(2022, 7, 4)).u32(0x5AE980DF);
    const auto y = parseRecurrence(yearly.b);
    ASSERT_TRUE(y);
    EXPECT_EQ(y->monthOfYear, 7u);
    EXPECT_EQ(y->interval, 1u);
    EXPECT_EQ(describeRecurrence(*y), "Every year on 4 July, from 4 July 2022");

    // The daily example of the format's documentation: every three days from 7 April to 4 May
    // 2011 at 8:00, with 19 and 22 April deleted.
    const std::string hex =
        "043004300A2000000000A0050000E010000000000000212000000A0000000000000002000000A0C1DC0C80D2"
        "DC0C00000000207EDC0C0016DD0C0630000009300000E0010000FE01000000000000000000000000";
    Bytes doc;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        doc.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    const auto d = parseRecurrence(doc);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->interval, 3u);
    EXPECT_EQ(d->removedDates(), (std::vector<std::int64_t>{day(2011, 4, 19), day(2011, 4, 22)}));
    EXPECT_EQ(describeRecurrence(*d),
              "Every 3 days from 8:00 to 8:30, from 7 April 2011 until 4 May 2011");
}

// Local times of a zone with daylight saving time, the US rule: second Sunday of March to the
// first Sunday of November, both at 2:00.
TEST(RecurrenceTest, TimeZoneRulesGiveTheOffsetOfEachDate) {
    Bytes tz(48, 0);
    auto put16 = [&](std::size_t at, std::uint16_t v) { store16(tz.data() + at, v); };
    store32(tz.data(), 480);                                  // UTC-8
    store32(tz.data() + 8, static_cast<std::uint32_t>(-60));  // daylight: UTC-7
    put16(16, 11), put16(20, 1), put16(22, 2);                // standard from 1st Sun of Nov
    put16(34, 3), put16(38, 2), put16(40, 2);                 // daylight from 2nd Sun of March
    const auto rule = parseTimeZoneStruct(tz);
    ASSERT_TRUE(rule);
    const std::int64_t summer = minutesFromCivil({2016, 8, 2, 15, 0, 0});
    const std::int64_t winter = minutesFromCivil({2016, 12, 2, 15, 0, 0});
    EXPECT_EQ(rule->offsetAtUtc(summer), -420);
    EXPECT_EQ(rule->offsetAtUtc(winter), -480);
    EXPECT_EQ(civilFromMinutes(TimeZoneRule::transitionMinutes(rule->daylightDate, 2022)).day, 13);
    EXPECT_FALSE(parseTimeZoneStruct(ByteView(tz.data(), 47)));

    // The same zone as a definition with an older rule first and the effective one second.
    Bytes def = {2, 1, 0, 0, 2, 0, 2, 0, 'P', 0, 'T', 0, 2, 0};
    store16(def.data() + 2, static_cast<std::uint16_t>(def.size() - 4));
    for (std::uint16_t flags : {0, 2}) {
        Bytes rule(66, 0);
        store16(rule.data() + 4, flags);
        std::copy_n(tz.data(), 12, rule.data() + 22);
        std::copy_n(tz.data() + 14, 16, rule.data() + 34);
        std::copy_n(tz.data() + 32, 16, rule.data() + 50);
        if (flags == 0) store32(rule.data() + 22, 0);  // the old rule: UTC
        def.insert(def.end(), rule.begin(), rule.end());
    }
    const auto d = parseTimeZoneDefinition(def);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->keyName, "PT");
    EXPECT_EQ(d->rule.offsetAtUtc(summer), -420);
    for (std::size_t n = 0; n < def.size(); ++n)
        parseTimeZoneDefinition(ByteView(def.data(), n));  // never reads past the end
}

}  // namespace
}  // namespace brevik
