// Property types and the property ids the readers and writers know by name ([MS-OXCDATA],
// [MS-OXPROPS]), and the property sets named properties belong to.
#pragma once

#include <array>
#include <cstdint>

namespace brevik {

namespace ptype {
inline constexpr std::uint16_t kInt16 = 0x0002;
inline constexpr std::uint16_t kInt32 = 0x0003;
inline constexpr std::uint16_t kFloat = 0x0004;
inline constexpr std::uint16_t kDouble = 0x0005;
inline constexpr std::uint16_t kCurrency = 0x0006;
inline constexpr std::uint16_t kAppTime = 0x0007;
inline constexpr std::uint16_t kError = 0x000A;
inline constexpr std::uint16_t kBoolean = 0x000B;
inline constexpr std::uint16_t kObject = 0x000D;
inline constexpr std::uint16_t kInt64 = 0x0014;
inline constexpr std::uint16_t kString8 = 0x001E;
inline constexpr std::uint16_t kUnicode = 0x001F;
inline constexpr std::uint16_t kTime = 0x0040;
inline constexpr std::uint16_t kGuid = 0x0048;
inline constexpr std::uint16_t kBinary = 0x0102;
inline constexpr std::uint16_t kMultiValued = 0x1000;  // the flag a multi-valued type adds
inline constexpr std::uint16_t kMultiInt32 = 0x1003;
inline constexpr std::uint16_t kMultiInt64 = 0x1014;
inline constexpr std::uint16_t kMultiString8 = 0x101E;
inline constexpr std::uint16_t kMultiUnicode = 0x101F;
inline constexpr std::uint16_t kMultiBinary = 0x1102;
}  // namespace ptype

// Ids from 0x8000 on name an entry of the file's name-to-id map.
inline constexpr std::uint32_t kFirstNamedPropertyId = 0x8000;

namespace pid {
// The name-to-id map's own properties: bucket count, GUID, entry and string streams, buckets.
inline constexpr std::uint16_t kNameidBucketCount = 0x0001;
inline constexpr std::uint16_t kNameidStreamGuid = 0x0002;
inline constexpr std::uint16_t kNameidStreamEntry = 0x0003;
inline constexpr std::uint16_t kNameidStreamString = 0x0004;
inline constexpr std::uint16_t kNameidBucketBase = 0x1000;

inline constexpr std::uint16_t kImportance = 0x0017;
inline constexpr std::uint16_t kMessageClass = 0x001A;
inline constexpr std::uint16_t kPriority = 0x0026;
inline constexpr std::uint16_t kSensitivity = 0x0036;
inline constexpr std::uint16_t kSubject = 0x0037;
inline constexpr std::uint16_t kClientSubmitTime = 0x0039;
inline constexpr std::uint16_t kSentRepresentingSearchKey = 0x003B;
inline constexpr std::uint16_t kSubjectPrefix = 0x003D;
inline constexpr std::uint16_t kSentRepresentingEntryId = 0x0041;
inline constexpr std::uint16_t kSentRepresentingName = 0x0042;
inline constexpr std::uint16_t kReplyRecipientNames = 0x0050;
inline constexpr std::uint16_t kReceivedBySearchKey = 0x0051;
inline constexpr std::uint16_t kReceivedRepresentingSearchKey = 0x0052;
inline constexpr std::uint16_t kMessageToMe = 0x0057;
inline constexpr std::uint16_t kMessageCcMe = 0x0058;
inline constexpr std::uint16_t kSentRepresentingAddressType = 0x0064;
inline constexpr std::uint16_t kSentRepresentingEmailAddress = 0x0065;
inline constexpr std::uint16_t kConversationTopic = 0x0070;
inline constexpr std::uint16_t kConversationIndex = 0x0071;
inline constexpr std::uint16_t kReceivedByAddressType = 0x0075;
inline constexpr std::uint16_t kReceivedByEmailAddress = 0x0076;
inline constexpr std::uint16_t kReceivedRepresentingAddressType = 0x0077;
inline constexpr std::uint16_t kReceivedRepresentingEmailAddress = 0x0078;
inline constexpr std::uint16_t kTransportMessageHeaders = 0x007D;
inline constexpr std::uint16_t kRecipientType = 0x0C15;
inline constexpr std::uint16_t kSenderEntryId = 0x0C19;
inline constexpr std::uint16_t kSenderName = 0x0C1A;
inline constexpr std::uint16_t kSenderSearchKey = 0x0C1D;
inline constexpr std::uint16_t kSenderAddressType = 0x0C1E;
inline constexpr std::uint16_t kSenderEmailAddress = 0x0C1F;
inline constexpr std::uint16_t kDisplayBcc = 0x0E02;
inline constexpr std::uint16_t kDisplayCc = 0x0E03;
inline constexpr std::uint16_t kDisplayTo = 0x0E04;
inline constexpr std::uint16_t kMessageDeliveryTime = 0x0E06;
inline constexpr std::uint16_t kMessageFlags = 0x0E07;
inline constexpr std::uint16_t kMessageSize = 0x0E08;
inline constexpr std::uint16_t kResponsibility = 0x0E0F;
inline constexpr std::uint16_t kMessageStatus = 0x0E17;
inline constexpr std::uint16_t kNormalizedSubject = 0x0E1D;
inline constexpr std::uint16_t kRtfInSync = 0x0E1F;
inline constexpr std::uint16_t kAttachSize = 0x0E20;
inline constexpr std::uint16_t kRecordKey = 0x0FF9;
inline constexpr std::uint16_t kObjectType = 0x0FFE;
inline constexpr std::uint16_t kEntryId = 0x0FFF;
inline constexpr std::uint16_t kBody = 0x1000;
inline constexpr std::uint16_t kRtfSyncBodyCrc = 0x1006;
inline constexpr std::uint16_t kRtfSyncBodyCount = 0x1007;
inline constexpr std::uint16_t kRtfSyncBodyTag = 0x1008;
inline constexpr std::uint16_t kRtfCompressed = 0x1009;
inline constexpr std::uint16_t kRtfSyncPrefixCount = 0x1010;
inline constexpr std::uint16_t kRtfSyncTrailingCount = 0x1011;
inline constexpr std::uint16_t kProperty1012 = 0x1012;
inline constexpr std::uint16_t kHtml = 0x1013;
inline constexpr std::uint16_t kInternetMessageId = 0x1035;
inline constexpr std::uint16_t kInternetReferences = 0x1039;
inline constexpr std::uint16_t kInReplyToId = 0x1042;
inline constexpr std::uint16_t kProperty1046 = 0x1046;
inline constexpr std::uint16_t kItemTemporaryFlags = 0x1097;
inline constexpr std::uint16_t kRowId = 0x3000;
inline constexpr std::uint16_t kDisplayName = 0x3001;
inline constexpr std::uint16_t kAddressType = 0x3002;
inline constexpr std::uint16_t kEmailAddress = 0x3003;
inline constexpr std::uint16_t kComment = 0x3004;
inline constexpr std::uint16_t kCreationTime = 0x3007;
inline constexpr std::uint16_t kLastModificationTime = 0x3008;
inline constexpr std::uint16_t kSearchKey = 0x300B;
inline constexpr std::uint16_t kStoreSupportMask = 0x340D;
inline constexpr std::uint16_t kValidFolderMask = 0x35DF;
inline constexpr std::uint16_t kIpmSubtreeEntryId = 0x35E0;
inline constexpr std::uint16_t kAttrHidden = 0x10F4;
inline constexpr std::uint16_t kIpmWastebasketEntryId = 0x35E3;
inline constexpr std::uint16_t kFinderEntryId = 0x35E7;
inline constexpr std::uint16_t kContentCount = 0x3602;
inline constexpr std::uint16_t kContentUnreadCount = 0x3603;
inline constexpr std::uint16_t kSubfolders = 0x360A;
inline constexpr std::uint16_t kContainerClass = 0x3613;
inline constexpr std::uint16_t kAssociatedContentCount = 0x3617;
inline constexpr std::uint16_t kAttachDataObject = 0x3701;  // PidTagAttachDataBinary too
inline constexpr std::uint16_t kAttachFilename = 0x3704;
inline constexpr std::uint16_t kAttachMethod = 0x3705;
inline constexpr std::uint16_t kAttachLongFilename = 0x3707;
inline constexpr std::uint16_t kRenderingPosition = 0x370B;
inline constexpr std::uint16_t kAttachMimeTag = 0x370E;
inline constexpr std::uint16_t kProperty3710 = 0x3710;
inline constexpr std::uint16_t kAttachContentId = 0x3712;
inline constexpr std::uint16_t kAttachFlags = 0x3714;
inline constexpr std::uint16_t kDisplayType = 0x3900;
inline constexpr std::uint16_t kSmtpAddress = 0x39FE;
inline constexpr std::uint16_t kAddressBookDisplayNamePrintable = 0x39FF;
inline constexpr std::uint16_t kCallbackTelephoneNumber = 0x3A02;
inline constexpr std::uint16_t kGeneration = 0x3A05;
inline constexpr std::uint16_t kGivenName = 0x3A06;
inline constexpr std::uint16_t kBusinessTelephoneNumber = 0x3A08;
inline constexpr std::uint16_t kHomeTelephoneNumber = 0x3A09;
inline constexpr std::uint16_t kInitials = 0x3A0A;
inline constexpr std::uint16_t kSurname = 0x3A11;
inline constexpr std::uint16_t kCompanyName = 0x3A16;
inline constexpr std::uint16_t kTitle = 0x3A17;
inline constexpr std::uint16_t kDepartmentName = 0x3A18;
inline constexpr std::uint16_t kOfficeLocation = 0x3A19;
inline constexpr std::uint16_t kPrimaryTelephoneNumber = 0x3A1A;
inline constexpr std::uint16_t kBusiness2TelephoneNumber = 0x3A1B;
inline constexpr std::uint16_t kMobileTelephoneNumber = 0x3A1C;
inline constexpr std::uint16_t kRadioTelephoneNumber = 0x3A1D;
inline constexpr std::uint16_t kCarTelephoneNumber = 0x3A1E;
inline constexpr std::uint16_t kOtherTelephoneNumber = 0x3A1F;
inline constexpr std::uint16_t kPagerTelephoneNumber = 0x3A21;
inline constexpr std::uint16_t kPrimaryFaxNumber = 0x3A23;
inline constexpr std::uint16_t kBusinessFaxNumber = 0x3A24;
inline constexpr std::uint16_t kHomeFaxNumber = 0x3A25;
inline constexpr std::uint16_t kCountry = 0x3A26;
inline constexpr std::uint16_t kLocality = 0x3A27;
inline constexpr std::uint16_t kStateOrProvince = 0x3A28;
inline constexpr std::uint16_t kStreetAddress = 0x3A29;
inline constexpr std::uint16_t kPostalCode = 0x3A2A;
inline constexpr std::uint16_t kPostOfficeBox = 0x3A2B;
inline constexpr std::uint16_t kIsdnNumber = 0x3A2D;
inline constexpr std::uint16_t kAssistantTelephoneNumber = 0x3A2E;
inline constexpr std::uint16_t kHome2TelephoneNumber = 0x3A2F;
inline constexpr std::uint16_t kAssistant = 0x3A30;
inline constexpr std::uint16_t kSendRichInfo = 0x3A40;
inline constexpr std::uint16_t kWeddingAnniversary = 0x3A41;
inline constexpr std::uint16_t kBirthday = 0x3A42;
inline constexpr std::uint16_t kMiddleName = 0x3A44;
inline constexpr std::uint16_t kDisplayNamePrefix = 0x3A45;
inline constexpr std::uint16_t kSpouseName = 0x3A48;
inline constexpr std::uint16_t kTtyTddPhoneNumber = 0x3A4B;
inline constexpr std::uint16_t kManagerName = 0x3A4E;
inline constexpr std::uint16_t kNickname = 0x3A4F;
inline constexpr std::uint16_t kCompanyMainTelephoneNumber = 0x3A57;
inline constexpr std::uint16_t kHomeAddressCity = 0x3A59;
inline constexpr std::uint16_t kHomeAddressCountry = 0x3A5A;
inline constexpr std::uint16_t kHomeAddressPostalCode = 0x3A5B;
inline constexpr std::uint16_t kHomeAddressStateOrProvince = 0x3A5C;
inline constexpr std::uint16_t kHomeAddressStreet = 0x3A5D;
inline constexpr std::uint16_t kHomeAddressPostOfficeBox = 0x3A5E;
inline constexpr std::uint16_t kOtherAddressCity = 0x3A5F;
inline constexpr std::uint16_t kOtherAddressCountry = 0x3A60;
inline constexpr std::uint16_t kOtherAddressPostalCode = 0x3A61;
inline constexpr std::uint16_t kOtherAddressStateOrProvince = 0x3A62;
inline constexpr std::uint16_t kOtherAddressStreet = 0x3A63;
inline constexpr std::uint16_t kOtherAddressPostOfficeBox = 0x3A64;
inline constexpr std::uint16_t kBusinessHomePage = 0x3A51;
inline constexpr std::uint16_t kPersonalHomePage = 0x3A50;
inline constexpr std::uint16_t kInternetCodepage = 0x3FDE;
inline constexpr std::uint16_t kMessageCodepage = 0x3FFD;
inline constexpr std::uint16_t kRecipientFlags = 0x5FFD;
inline constexpr std::uint16_t kRecipientTrackStatus = 0x5FFF;
inline constexpr std::uint16_t kAttachmentContactPhoto = 0x7FFF;
inline constexpr std::uint16_t kSenderSmtpAddress = 0x5D01;
inline constexpr std::uint16_t kSentRepresentingSmtpAddress = 0x5D02;
inline constexpr std::uint16_t kSecureSubmitFlags = 0x65C6;
inline constexpr std::uint16_t kPstHiddenCount = 0x6635;
inline constexpr std::uint16_t kPstHiddenUnread = 0x6636;
inline constexpr std::uint16_t kLtpParentNid = 0x67F1;
inline constexpr std::uint16_t kLtpRowId = 0x67F2;
inline constexpr std::uint16_t kLtpRowVer = 0x67F3;
inline constexpr std::uint16_t kIgnored6F02 = 0x6F02;
inline constexpr std::uint16_t kIgnored6F04 = 0x6F04;
}  // namespace pid

// Named properties' numeric ids ([MS-OXPROPS] PidLid), by property set.
namespace lid {
// PSETID_Address
inline constexpr std::uint32_t kFileUnder = 0x8005;
inline constexpr std::uint32_t kHasPicture = 0x8015;
inline constexpr std::uint32_t kPostalAddressId = 0x8022;
inline constexpr std::uint32_t kHtmlPage = 0x802B;
inline constexpr std::uint32_t kWorkAddressStreet = 0x8045;
inline constexpr std::uint32_t kWorkAddressCity = 0x8046;
inline constexpr std::uint32_t kWorkAddressState = 0x8047;
inline constexpr std::uint32_t kWorkAddressPostalCode = 0x8048;
inline constexpr std::uint32_t kWorkAddressCountry = 0x8049;
inline constexpr std::uint32_t kWorkAddressPostOfficeBox = 0x804A;
inline constexpr std::uint32_t kDistributionListName = 0x8053;
inline constexpr std::uint32_t kDistributionListOneOffMembers = 0x8054;
inline constexpr std::uint32_t kDistributionListMembers = 0x8055;
inline constexpr std::uint32_t kInstantMessagingAddress = 0x8062;
inline constexpr std::uint32_t kEmail1DisplayName = 0x8080;
inline constexpr std::uint32_t kEmail1AddressType = 0x8082;
inline constexpr std::uint32_t kEmail1EmailAddress = 0x8083;
inline constexpr std::uint32_t kEmail1OriginalDisplayName = 0x8084;
inline constexpr std::uint32_t kEmailStride = 0x10;  // Email2 and Email3 follow at this step
// PSETID_Appointment
inline constexpr std::uint32_t kBusyStatus = 0x8205;
inline constexpr std::uint32_t kLocation = 0x8208;
inline constexpr std::uint32_t kAppointmentStartWhole = 0x820D;
inline constexpr std::uint32_t kAppointmentEndWhole = 0x820E;
inline constexpr std::uint32_t kAppointmentSubType = 0x8215;  // all-day
inline constexpr std::uint32_t kAppointmentRecur = 0x8216;
inline constexpr std::uint32_t kAppointmentStateFlags = 0x8217;
inline constexpr std::uint32_t kResponseStatus = 0x8218;
inline constexpr std::uint32_t kRecurring = 0x8223;
inline constexpr std::uint32_t kTimeZoneStruct = 0x8233;
inline constexpr std::uint32_t kTimeZoneDescription = 0x8234;
inline constexpr std::uint32_t kAppointmentTimeZoneDefinitionStartDisplay = 0x825E;
// PSETID_Task
inline constexpr std::uint32_t kTaskStatus = 0x8101;
inline constexpr std::uint32_t kPercentComplete = 0x8102;
inline constexpr std::uint32_t kTaskStartDate = 0x8104;
inline constexpr std::uint32_t kTaskDueDate = 0x8105;
inline constexpr std::uint32_t kTaskDateCompleted = 0x810F;
inline constexpr std::uint32_t kTaskRecurrence = 0x8116;
inline constexpr std::uint32_t kTaskComplete = 0x811C;
inline constexpr std::uint32_t kTaskOwner = 0x811F;
// PSETID_Common
inline constexpr std::uint32_t kReminderDelta = 0x8501;
inline constexpr std::uint32_t kReminderSet = 0x8503;
inline constexpr std::uint32_t kCommonStart = 0x8516;
inline constexpr std::uint32_t kCommonEnd = 0x8517;
inline constexpr std::uint32_t kCompanies = 0x8539;
inline constexpr std::uint32_t kContacts = 0x853A;
// PSETID_Log
inline constexpr std::uint32_t kLogType = 0x8700;
inline constexpr std::uint32_t kLogStart = 0x8706;
inline constexpr std::uint32_t kLogDuration = 0x8707;
inline constexpr std::uint32_t kLogEnd = 0x8708;
// PSETID_Meeting
inline constexpr std::uint32_t kGlobalObjectId = 0x0003;
// PSETID_Note
inline constexpr std::uint32_t kNoteColor = 0x8B00;
}  // namespace lid

// Named properties known by a string name in PS_PUBLIC_STRINGS.
inline constexpr const char* kKeywordsName = "Keywords";  // the categories

// Property sets. PS_MAPI and PS_PUBLIC_STRINGS are indexes 1 and 2 of every name-to-id map.
using PropertySetGuid = std::array<std::uint8_t, 16>;
inline constexpr PropertySetGuid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr PropertySetGuid kPsPublicStrings = {
    0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr PropertySetGuid kPsetidAddress = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr PropertySetGuid kPsetidNote = {0x0E, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr PropertySetGuid kPsetidAppointment = {
    0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr PropertySetGuid kPsetidTask = {0x03, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr PropertySetGuid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr PropertySetGuid kPsetidLog = {0x0A, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {6ED8DA90-450B-101B-98DA-00AA003F1305}
inline constexpr PropertySetGuid kPsetidMeeting = {0x90, 0xDA, 0xD8, 0x6E, 0x0B, 0x45, 0x1B, 0x10,
                                                   0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05};

}  // namespace brevik
