#include "message/item_type.h"

#include <gtest/gtest.h>

namespace brevik {
namespace {

// The names a listing prints must say what an item is: receipts are reports, meeting mail is
// told apart from appointments, and a class that merely starts like another is not taken for it.
TEST(ItemTypeTest, MessageClassesNameWhatTheItemIs) {
    const std::pair<const char*, const char*> cases[] = {
        {"IPM.Note", "mail"},
        {"", "mail"},
        {"IPM.Note.SMIME.MultipartSigned", "mail"},
        {"REPORT.IPM.Note.DR", "deliveryReport"},
        {"report.ipm.note.ipnrn", "readReport"},
        {"REPORT.IPM.Note.NDR", "nonDeliveryReport"},
        {"REPORT.IPM.Schedule.Meeting.Resp.Pos.DR", "deliveryReport"},
        {"IPM.Appointment", "appointment"},
        {"IPM.Schedule.Meeting.Request", "meetingRequest"},
        {"IPM.Schedule.Meeting.Resp.Tent", "meetingResponse"},
        {"IPM.Schedule.Meeting.Canceled", "meetingCancellation"},
        {"IPM.Task", "task"},
        {"IPM.TaskRequest.Accept", "taskRequest"},
        {"IPM.Contact", "contact"},
        {"IPM.DistList", "distlist"},
        {"IPM.StickyNote", "note"},
        {"IPM.Activity", "journal"},
        {"IPM.Post", "post"},
        {"IPM.Configuration.Calendar", "system"},
        {"IPM.Appointmentish", "mail"},
        {"X-Unknown", "other"},
    };
    for (const auto& [cls, name] : cases)
        EXPECT_STREQ(itemTypeName(itemTypeOf(cls)), name) << cls;
    EXPECT_EQ(itemTypeOf(std::string_view("IPM.Task\0x", 10)), ItemType::Task);
}

}  // namespace
}  // namespace brevik
