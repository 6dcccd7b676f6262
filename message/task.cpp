#include "message/task.h"

#include "message/item_fields_common.h"
#include "message/property_tags.h"

namespace brevik {

TaskFields readTask(const ItemProperties& item) {
    const PropertyBag& p = item.own;
    TaskFields t;
    t.subject = itemSubject(p);
    t.body = itemPlainBody(p);
    t.start = p.time(kPsetidTask, lid::kTaskStartDate);
    t.due = p.time(kPsetidTask, lid::kTaskDueDate);
    t.status = p.int32(kPsetidTask, lid::kTaskStatus);
    if (auto percent = p.real(kPsetidTask, lid::kPercentComplete);
        percent && *percent >= 0.0 && *percent <= 1.0)
        t.percentComplete = percent;
    t.importance = p.int32(pid::kImportance);
    t.owner = p.text(kPsetidTask, lid::kTaskOwner).value_or("");
    t.completed = p.time(kPsetidTask, lid::kTaskDateCompleted);
    t.complete = p.boolean(kPsetidTask, lid::kTaskComplete).value_or(false);
    if (const Bytes* recur = p.binary(kPsetidTask, lid::kTaskRecurrence))
        t.recurrence = parseRecurrence(*recur);
    t.categories = itemCategories(p);
    t.reminderSet = p.boolean(kPsetidCommon, lid::kReminderSet).value_or(false);
    t.created = p.time(pid::kCreationTime);
    t.modified = p.time(pid::kLastModificationTime);
    return t;
}

const char* taskStatusName(std::int32_t status) {
    switch (status) {
        case 0:
            return "not started";
        case 1:
            return "in progress";
        case 2:
            return "complete";
        case 3:
            return "waiting on someone else";
        case 4:
            return "deferred";
        default:
            return "unknown";
    }
}

JournalFields readJournal(const ItemProperties& item) {
    const PropertyBag& p = item.own;
    JournalFields j;
    j.subject = itemSubject(p);
    j.body = itemPlainBody(p);
    j.type = p.text(kPsetidLog, lid::kLogType).value_or("");
    j.start = p.time(kPsetidLog, lid::kLogStart);
    j.end = p.time(kPsetidLog, lid::kLogEnd);
    j.durationMinutes = p.int32(kPsetidLog, lid::kLogDuration);
    j.companies = p.texts(kPsetidCommon, lid::kCompanies);
    j.contacts = p.texts(kPsetidCommon, lid::kContacts);
    j.categories = itemCategories(p);
    j.created = p.time(pid::kCreationTime);
    return j;
}

}  // namespace brevik
