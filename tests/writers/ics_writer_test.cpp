#include "writers/ics/ics_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "mail_files.h"
#include "message/calendar_time.h"

namespace brevik::ics {
namespace {

std::uint64_t utcTicks(int y, int mo, int d, int h, int mi) {
    return static_cast<std::uint64_t>(minutesFromCivil({y, mo, d, h, mi, 0})) * kTicksPerMinute;
}

// Pacific time: UTC-8, daylight time UTC-7 from the second Sunday of March to the first Sunday
// of November.
TimeZoneRule pacific() {
    TimeZoneRule z;
    z.bias = 480;
    z.daylightBias = -60;
    z.standardDate = {0, 11, 0, 1, 2, 0};
    z.daylightDate = {0, 3, 0, 2, 2, 0};
    return z;
}

// A calendar of every kind of entry reads back with icalendar and vobject, and the zoned times
// mean the instants they were given as.
TEST(IcsWriter, EventsTasksAndJournalEntriesReadBackAsTheInstantsTheyWere) {
    AppointmentFields a;
    a.subject = "Planning, weekly; \"all\"";
    a.location = "Room 5";
    a.start = utcTicks(2022, 1, 3, 17, 0);  // 9:00 in Pacific time
    a.end = utcTicks(2022, 1, 3, 17, 30);
    a.timeZone = pacific();
    a.timeZoneName = "(UTC-08:00) Pacific Time (US & Canada)";
    a.organizerName = "Zoë";
    a.organizerAddress = "zoe@example.com";
    a.attendees = {
        {"Bo", "bo@example.com", AttendeeRole::Optional, AttendeeResponse::Declined, false}};
    a.reminderSet = true;
    a.reminderMinutes = 10;
    RecurrenceRule r;
    r.frequency = RecurrenceFrequency::Weekly;
    r.weekDays = 0x02;
    r.end = RecurrenceEnd::ByDate;
    r.startDate = minutesFromCivil({2022, 1, 3, 0, 0, 0});
    r.endDate = minutesFromCivil({2022, 12, 26, 0, 0, 0});
    r.hasTimes = true;
    r.startOffset = 540;
    r.endOffset = 570;
    r.deletedDates = {minutesFromCivil({2022, 1, 10, 0, 0, 0}),
                      minutesFromCivil({2022, 7, 11, 0, 0, 0})};
    // 11 July moved to 12 July, 10:00 in daylight time (17:00 UTC).
    r.exceptions = {{minutesFromCivil({2022, 7, 11, 9, 0, 0}),
                     minutesFromCivil({2022, 7, 12, 10, 0, 0}),
                     minutesFromCivil({2022, 7, 12, 10, 30, 0}),
                     "Moved",
                     std::nullopt,
                     {}}};
    a.recurrence = r;

    AppointmentFields allDay;
    allDay.subject = "Holiday";
    allDay.allDay = true;
    allDay.start = utcTicks(2022, 5, 1, 22, 0);  // midnight of 2 May two hours east of UTC
    allDay.end = utcTicks(2022, 5, 2, 22, 0);

    TaskFields t;
    t.subject = "Report";
    t.start = utcTicks(2022, 2, 1, 0, 0);
    t.due = utcTicks(2022, 2, 4, 0, 0);
    t.status = 1;
    t.percentComplete = 0.4;
    JournalFields j;
    j.subject = "Call with Bo";
    j.type = "Phone call";
    j.start = utcTicks(2022, 3, 1, 8, 0);
    j.durationMinutes = 12;
    j.contacts = {"Bo"};

    CalendarFile file;
    file.addAppointment(a, "a1");
    file.addAppointment(a, "a1");  // a second copy gets a UID of its own
    file.addAppointment(allDay, "a2");
    file.addTask(t, "t1");
    file.addJournal(j, "j1");
    const std::string text = file.text();
    EXPECT_NE(text.find("RRULE:FREQ=WEEKLY;UNTIL=20221227T075959Z;BYDAY=MO;WKST=SU"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("UID:a1-2"), std::string::npos);
    EXPECT_NE(text.find("DTSTART;VALUE=DATE:20220502"), std::string::npos);
    EXPECT_NE(text.find("DUE;VALUE=DATE:20220204"), std::string::npos);
    EXPECT_NE(text.find("PERCENT-COMPLETE:40"), std::string::npos);

    test::ScratchDir dir;
    std::filesystem::create_directories(dir.file("ours"));
    std::filesystem::create_directories(dir.file("expected"));
    std::ofstream(dir.file("ours/c.ics"), std::ios::binary) << text;
    // The instants the zoned times must mean: the series' first, the moved one, not the deleted.
    std::ofstream(dir.file("expected/e.ics"), std::ios::binary)
        << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:1\r\nDTSTAMP:"
           "20220101T000000Z\r\nDTSTART:20220103T170000Z\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:2\r\n"
           "DTSTAMP:20220101T000000Z\r\nDTSTART:20220712T170000Z\r\nEND:VEVENT\r\nEND:"
           "VCALENDAR\r\n";
    std::string output;
    ASSERT_EQ(test::runCommand("/usr/bin/python3 " BREVIK_TEST_SUPPORT_DIR "/cards_check.py " +
                                   test::shellQuote(dir.file("ours")) + " " +
                                   test::shellQuote(dir.file("expected")),
                               &output),
              0);
    const auto result = nlohmann::json::parse(output);
    EXPECT_TRUE(result["errors"].empty()) << result["errors"].dump();
    EXPECT_EQ(result["events"], 5);  // two copies of the series with their moved one, one day
    EXPECT_EQ(result["todos"], 1);
    EXPECT_EQ(result["journals"], 1);
    EXPECT_TRUE(result["missingStarts"].empty()) << result["missingStarts"].dump();
    // Only 10 January is an EXDATE: 11 July was moved, not deleted.
    EXPECT_NE(text.find("EXDATE;TZID=\"(UTC-08:00) Pacific Time (US & Canada)\":20220110T090000"),
              std::string::npos);
    std::size_t moved = 0;
    for (std::size_t at = text.find("20220711T090000"); at != std::string::npos;
         at = text.find("20220711T090000", at + 1))
        ++moved;
    EXPECT_EQ(moved, 2u);  // the RECURRENCE-ID of each copy

    const std::string reply =
        meetingCalendar(a, ItemType::MeetingResponse, "IPM.Schedule.Meeting.Resp.Pos", "m1");
    EXPECT_NE(reply.find("METHOD:REPLY"), std::string::npos);
    EXPECT_NE(reply.find("PARTSTAT=ACCEPTED"), std::string::npos) << reply;
    const std::string cancel =
        meetingCalendar(a, ItemType::MeetingCancellation, "IPM.Schedule.Meeting.Canceled", "m1");
    EXPECT_NE(cancel.find("STATUS:CANCELLED"), std::string::npos);
    EXPECT_TRUE(meetingCalendar(a, ItemType::Appointment, "IPM.Appointment", "m1").empty());
}

}  // namespace
}  // namespace brevik::ics
