// The fields of a task ([MS-OXOTASK]) and of a journal entry ([MS-OXOJRNL]).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "message/item_properties.h"
#include "message/recurrence.h"

namespace brevik {

struct TaskFields {
    std::string subject;
    std::string body;
    std::optional<std::uint64_t> start;  // FILETIME; Outlook stores the day at midnight UTC
    std::optional<std::uint64_t> due;
    std::optional<std::int32_t> status;      // 0 not started, 1 in progress, 2 complete, 3 waiting,
                                             // 4 deferred
    std::optional<double> percentComplete;   // 0.0 .. 1.0
    std::optional<std::int32_t> importance;  // 0 low, 1 normal, 2 high
    std::string owner;
    std::optional<std::uint64_t> completed;
    bool complete = false;
    std::optional<RecurrenceRule> recurrence;
    std::vector<std::string> categories;
    bool reminderSet = false;
    std::optional<std::uint64_t> created;
    std::optional<std::uint64_t> modified;
};

TaskFields readTask(const ItemProperties& item);
const char* taskStatusName(std::int32_t status);  // "not started", "in progress", ...

struct JournalFields {
    std::string subject;
    std::string body;
    std::string type;  // "Phone call", "E-mail Message", ...
    std::optional<std::uint64_t> start;
    std::optional<std::uint64_t> end;
    std::optional<std::int32_t> durationMinutes;
    std::vector<std::string> companies;
    std::vector<std::string> contacts;
    std::vector<std::string> categories;
    std::optional<std::uint64_t> created;
};

JournalFields readJournal(const ItemProperties& item);

}  // namespace brevik
