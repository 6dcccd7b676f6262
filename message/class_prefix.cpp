#include "message/class_prefix.h"

#include <array>
#include <cstddef>

namespace brevik {
namespace {

constexpr std::array<std::string_view, 30> kStrings = {
    "",                                     // 0: unused
    "Lost and Found",                       // 1
    "IPM.Note",                             // 2
    "IPM",                                  // 3
    "IPM.Contact",                          // 4
    "REPORT.IPM.Note",                      // 5
    "IPM.Activity",                         // 6
    "IPM.Appointment",                      // 7
    "IPM.Microsoft.ScheduleData.FreeBusy",  // 8
    "IPM.Configuration",                    // 9
    "IPM.ExtendedRule.Message",             // 10
    "IPC",                                  // 11
    "IPM.Rule.Message",                     // 12
    "IPM.Document.",                        // 13
    "IPM.Post",                             // 14
    "IPM.DistList",                         // 15
    "IPM.StickyNote",                       // 16
    "IPM.TaskRequest",                      // 17
    "IPM.Schedule.Meeting.Request",         // 18
    "IPF.Note",                             // 19
    "IPF.Contact",                          // 20
    "IPF.Journal",                          // 21
    "IPF.Appointment",                      // 22
    "IPF.StickyNote",                       // 23
    "IPF.Task",                             // 24
    "Attachment",                           // 25
    "Top of Personal Folders",              // 26
    "IPM.Microsoft.WunderBar",              // 27
    "IPM.Task",                             // 28
    "",                                     // 29: unused
};

// A prefix compared over at most `count` characters; a prefix shorter than that must match the
// whole class.
struct ClassRule {
    int number;
    std::size_t count;  // 0: the whole class must equal the string
    ItemKind kind;
};

using namespace item_kind;

constexpr ClassRule kMessageRules[] = {
    {2, 8, kMessage},          {3, 0, kMessage},    {5, 15, kReport},  {6, 12, kJournal},
    {7, 15, kAppointment},     {8, 36, kSystem},    {9, 17, kSystem},  {10, 30, kSystem},
    {11, 3, kSystem},          {12, 18, kSystem},   {27, 23, kSystem}, {13, 13, kMessage},
    {14, 8, kMessage},         {15, 12, kDistList}, {16, 14, kNote},   {17, 15, kTaskRequest},
    {18, 28, kMeetingRequest}, {4, 11, kContact},   {28, 8, kTask},
};

constexpr ClassRule kContainerRules[] = {
    {19, 8, kMailFolder},   {20, 11, kContact}, {21, 11, kJournal},
    {22, 15, kAppointment}, {23, 14, kNote},    {24, 8, kTask},
};

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// strncmp semantics over `count` characters, treating the end of either string as a zero.
bool matches(std::string_view text, std::string_view prefix, std::size_t count, bool foldCase) {
    for (std::size_t i = 0; i < count; ++i) {
        const char a = i < text.size() ? text[i] : '\0';
        const char b = i < prefix.size() ? prefix[i] : '\0';
        if (foldCase ? lower(a) != lower(b) : a != b) return false;
        if (a == '\0') return true;
    }
    return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// Classes are zero-terminated in the file: text after a zero does not take part.
std::string_view untilZero(std::string_view s) {
    const auto zero = s.find('\0');
    return zero == std::string_view::npos ? s : s.substr(0, zero);
}

}  // namespace

std::optional<std::string> classPrefixString(int number) {
    if (number < 0 || number >= static_cast<int>(kStrings.size())) return std::nullopt;
    return std::string(kStrings[static_cast<std::size_t>(number)]);
}

ItemKind messageClassKind(std::string_view messageClass) {
    messageClass = untilZero(messageClass);
    for (const ClassRule& r : kMessageRules) {
        const std::string_view prefix = kStrings[static_cast<std::size_t>(r.number)];
        const bool hit = r.count == 0 ? equalsIgnoringCase(messageClass, prefix)
                                      : matches(messageClass, prefix, r.count, true);
        if (hit) return r.kind;
    }
    return item_kind::kMessage;
}

ItemKind containerClassKind(std::string_view containerClass) {
    containerClass = untilZero(containerClass);
    for (const ClassRule& r : kContainerRules) {
        if (matches(containerClass, kStrings[static_cast<std::size_t>(r.number)], r.count, false))
            return r.kind;
    }
    return item_kind::kMessage;
}

}  // namespace brevik
