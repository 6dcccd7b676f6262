#include "message/class_prefix.h"

#include <gtest/gtest.h>

namespace brevik {
namespace {

TEST(ClassPrefixTest, NumberedStrings) {
    EXPECT_EQ(classPrefixString(1), "Lost and Found");
    EXPECT_EQ(classPrefixString(25), "Attachment");
    EXPECT_EQ(classPrefixString(26), "Top of Personal Folders");
    EXPECT_EQ(classPrefixString(0), "");
    EXPECT_FALSE(classPrefixString(30));
    EXPECT_FALSE(classPrefixString(-1));
}

TEST(ClassPrefixTest, MessageClassesIgnoreCaseAndTakeTheFirstMatch) {
    struct Case {
        const char* cls;
        ItemKind kind;
    };
    const Case cases[] = {
        {"IPM.Note", 200},
        {"ipm.note.smime", 200},
        {"IPM.Note.StickyNote", 200},  // the mail prefix is compared first
        {"IPM", 200},
        {"IPM.Contact", 102},
        {"IPM.Contact.Custom", 102},
        {"IPM.DistList", 107},
        {"IPM.StickyNote", 104},
        {"IPM.Task", 106},
        {"IPM.TaskRequest.Accept", 109},  // before the shorter task prefix
        {"IPM.Schedule.Meeting.Request", 110},
        {"IPM.Appointment", 103},
        {"IPM.Activity", 105},
        {"REPORT.IPM.Note.NDR", 101},
        {"IPM.Configuration.WorkHours", 201},
        {"IPM.Microsoft.ScheduleData.FreeBusy", 201},
        {"IPM.Microsoft.ScheduleData.FreeBusyX", 200},  // compared over 36 characters
        {"IPC.MS.Outlook.Signature", 201},
        {"IPM.Rule.Message", 201},
        {"IPM.Rule.MessageX", 200},  // a prefix shorter than its count must match whole
        {"IPM.Microsoft.WunderBar.Link", 201},
        {"IPM.Post", 200},
        {"", 200},
        {"Something.Else", 200},
    };
    for (const Case& c : cases)
        EXPECT_EQ(messageClassKind(c.cls), c.kind) << c.cls;
}

TEST(ClassPrefixTest, ContainerClassesAreCaseSensitive) {
    EXPECT_EQ(containerClassKind("IPF.Note"), 100u);
    EXPECT_EQ(containerClassKind("IPF.Note.OutlookHomepage"), 100u);
    EXPECT_EQ(containerClassKind("IPF.Contact"), 102u);
    EXPECT_EQ(containerClassKind("ipf.contact"), 200u);
    EXPECT_EQ(containerClassKind("IPF.Appointment.Birthday"), 103u);
    EXPECT_EQ(containerClassKind("IPF.StickyNote"), 104u);
    EXPECT_EQ(containerClassKind("IPF.Journal"), 105u);
    EXPECT_EQ(containerClassKind("IPF.Task"), 106u);
    EXPECT_EQ(containerClassKind(""), 200u);
    // Text after a terminating zero does not take part.
    EXPECT_EQ(containerClassKind(std::string_view("IPF.Task\0junk", 13)), 106u);
}

}  // namespace
}  // namespace brevik
