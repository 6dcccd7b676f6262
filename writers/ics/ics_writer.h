// Appointments, tasks and journal entries as iCalendar (RFC 5545), written through libical:
// VEVENT with RRULE, EXDATE and one VEVENT per changed occurrence (RECURRENCE-ID), VTIMEZONE
// from the stored time zone, VTODO, VJOURNAL; and the text/calendar part of meeting mail.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>

#include "message/appointment.h"
#include "message/item_type.h"
#include "message/task.h"

namespace brevik::ics {

class CalendarFile {
  public:
    // `method`: "REQUEST", "REPLY", "CANCEL" for meeting mail; null for a plain calendar.
    explicit CalendarFile(const char* method = nullptr);
    ~CalendarFile();
    CalendarFile(const CalendarFile&) = delete;
    CalendarFile& operator=(const CalendarFile&) = delete;

    // `uid` names the item when it has no meeting id; a UID used twice in the file gets a suffix.
    void addAppointment(const AppointmentFields& a, const std::string& uid);
    void addTask(const TaskFields& t, const std::string& uid);
    void addJournal(const JournalFields& j, const std::string& uid);
    bool empty() const { return items_ == 0; }
    std::string text() const;

  private:
    friend std::string meetingCalendar(const AppointmentFields&, ItemType, const std::string&,
                                       const std::string&);
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int items_ = 0;
};

// The calendar a meeting request, response or cancellation carries: METHOD REQUEST, REPLY (the
// sender's answer, told by `messageClass`) or CANCEL with its one event. Empty for other types.
std::string meetingCalendar(const AppointmentFields& a, ItemType type,
                            const std::string& messageClass, const std::string& uid);

}  // namespace brevik::ics
