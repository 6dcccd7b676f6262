// In-memory records of an item or folder, filled from property lists by interpretProperties.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/bytes.h"
#include "message/property_value.h"

namespace brevik {

// A string slot: UTF-8 text for string properties, the raw bytes for binary ones (entry ids,
// search keys). Empty when the property was absent or could not be read.
using StringSlot = std::optional<std::string>;
// A FILETIME (100 ns ticks since 1601, UTC).
using TimeSlot = std::optional<std::uint64_t>;

// What an item or folder is, derived from its message class or container class.
using ItemKind = std::uint32_t;
namespace item_kind {
inline constexpr ItemKind kNone = 0;  // no class property seen
inline constexpr ItemKind kMailFolder = 100;
inline constexpr ItemKind kReport = 101;
inline constexpr ItemKind kContact = 102;
inline constexpr ItemKind kAppointment = 103;
inline constexpr ItemKind kNote = 104;
inline constexpr ItemKind kJournal = 105;
inline constexpr ItemKind kTask = 106;
inline constexpr ItemKind kDistList = 107;
inline constexpr ItemKind kTaskRequest = 109;
inline constexpr ItemKind kMeetingRequest = 110;
inline constexpr ItemKind kMessage = 200;  // ordinary message, and the default
inline constexpr ItemKind kSystem = 201;   // hidden system items (rules, views, free/busy)
}  // namespace item_kind

// PidTagSubject split into its marker, prefix length and text.
struct SubjectRecord {
    std::uint32_t marker = 0;        // first character when it is a control character, else 0
    std::uint32_t prefixLength = 0;  // character after the marker, else 0
    std::string text;                // without marker and length; the prefix ("RE: ") included
};

// Envelope, body and RTF properties of an item (folders carry one too, mostly empty).
struct MessageEnvelope {
    StringSlot internetMessageId;                     // 0x1035
    StringSlot property1046;                          // 0x1046
    StringSlot displayTo;                             // 0x0E04
    StringSlot sentRepresentingAddressType;           // 0x0064
    StringSlot sentRepresentingEmailAddress;          // 0x0065
    StringSlot senderAddressType;                     // 0x0C1E
    StringSlot senderEmailAddress;                    // 0x0C1F
    StringSlot receivedByAddressType;                 // 0x0075
    StringSlot receivedByEmailAddress;                // 0x0076
    StringSlot receivedRepresentingAddressType;       // 0x0077
    StringSlot receivedRepresentingEmailAddress;      // 0x0078
    StringSlot receivedBySearchKey;                   // 0x0051
    StringSlot receivedRepresentingSearchKey;         // 0x0052
    StringSlot sentRepresentingSearchKey;             // 0x003B
    StringSlot sentRepresentingName;                  // 0x0042
    StringSlot sentRepresentingEntryId;               // 0x0041
    std::uint16_t sentRepresentingEntryIdLength = 0;  // size as read; 0 when kept in a subnode
    StringSlot senderName;                            // 0x0C1A
    StringSlot senderSearchKey;                       // 0x0C1D
    StringSlot displayCc;                             // 0x0E03
    StringSlot displayBcc;                            // 0x0E02
    StringSlot inReplyToId;                           // 0x1042
    StringSlot senderEntryId;                         // 0x0C19
    std::uint16_t senderEntryIdLength = 0;
    StringSlot replyRecipientNames;      // 0x0050
    StringSlot searchKey;                // 0x300B
    StringSlot transportMessageHeaders;  // 0x007D
    StringSlot body;                     // 0x1000
    ValueLocator bodyLocator;
    StringSlot html;  // 0x1013, UTF-8 even when stored as binary (see htmlCodepage)
    ValueLocator htmlLocator;
    std::optional<std::uint16_t> rtfInSync;         // 0x0E1F
    std::optional<std::uint32_t> rtfSyncBodyCrc;    // 0x1006
    std::optional<std::uint32_t> rtfSyncBodyCount;  // 0x1007
    StringSlot rtfSyncBodyTag;                      // 0x1008
    std::optional<Bytes> compressedRtf;             // 0x1009, raw, never decompressed here
    ValueLocator compressedRtfLocator;
    std::optional<std::uint32_t> rtfSyncPrefixCount;    // 0x1010
    std::optional<std::uint32_t> rtfSyncTrailingCount;  // 0x1011
    std::optional<Bytes> property1012;                  // 0x1012
    std::uint32_t messageFlags = 0;                     // 0x0E07
    std::optional<std::uint32_t> importance;            // 0x0017
    std::uint32_t priority = 0;                         // 0x0026
    TimeSlot deliveryTime;                              // 0x0E06
    TimeSlot clientSubmitTime;                          // 0x0039
    StringSlot subjectPrefix;                           // 0x003D
    std::optional<SubjectRecord> subject;               // 0x0037
    StringSlot conversationTopic;                       // 0x0070
};

struct FolderCounts {
    std::uint32_t contentCount = 0;            // 0x3602
    std::uint32_t unreadCount = 0;             // 0x3603
    std::uint32_t associatedContentCount = 0;  // 0x3617
    std::uint8_t hasSubfolders = 0;            // 0x360A non-zero
};

// Contact properties 0x3A00..0x3A64, one slot per id.
inline constexpr std::uint32_t kFirstContactProperty = 0x3A00;
inline constexpr std::uint32_t kLastContactProperty = 0x3A64;
struct ContactRecord {
    std::array<StringSlot, kLastContactProperty - kFirstContactProperty + 1> slots;
    TimeSlot weddingAnniversary;  // 0x3A41
    TimeSlot birthday;            // 0x3A42

    StringSlot& slot(std::uint32_t propertyId) { return slots[propertyId - kFirstContactProperty]; }
    const StringSlot& slot(std::uint32_t propertyId) const {
        return slots[propertyId - kFirstContactProperty];
    }
};

inline constexpr std::uint32_t kAttachByValue = 1;
inline constexpr std::uint32_t kAttachEmbeddedMessage = 5;

struct AttachmentRecord {
    StringSlot fileName;                  // 0x3704
    StringSlot longFileName;              // 0x3707
    StringSlot mimeTag;                   // 0x370E
    StringSlot displayName;               // 0x3001
    StringSlot contentId;                 // 0x3712: what HTML bodies name it by ("cid:")
    std::uint32_t size = 0;               // 0x0E20
    std::uint32_t rowId = 0;              // 0x67F2: node id of the attachment's own subnode
    std::uint32_t method = 0;             // 0x3705
    std::uint32_t renderingPosition = 0;  // 0x370B
    std::uint32_t property3710 = 0;       // 0x3710
    ValueLocator dataLocator;             // 0x3701; the data itself is not read
};

struct RecipientRecord {
    StringSlot displayName;                      // 0x3001, blanks trimmed
    StringSlot emailAddress;                     // 0x3003
    StringSlot addressType;                      // 0x3002
    StringSlot entryId;                          // 0x0FFF
    std::uint16_t entryIdLength = 0;             // size as read; 0 when kept in a subnode
    std::optional<std::uint32_t> recipientType;  // 0x0C15: 1 To, 2 Cc, 3 Bcc
};

// Property ids below this go into the strings-by-id table.
inline constexpr std::uint32_t kStringsByIdLimit = 100000;

// One loaded item or folder.
struct MessageRecord {
    // String properties without a slot of their own, by property id. Items only.
    bool hasStringsById = false;
    std::unordered_map<std::uint32_t, std::string> stringsById;

    MessageEnvelope envelope;  // a value member: every record has one
    FolderCounts folderCounts;
    std::optional<ContactRecord> contact;  // created by the first contact property
    std::vector<AttachmentRecord> attachments;
    std::vector<RecipientRecord> recipients;
    std::uint32_t currentAttachment = 0;  // attachment that attachment properties go to
    ItemKind kind = item_kind::kNone;
    StringSlot messageClass;        // 0x001A, or the container class 0x3613 of a folder
    StringSlot displayName;         // 0x3001
    StringSlot comment;             // 0x3004
    std::uint32_t messageSize = 0;  // 0x0E08
    TimeSlot creationTime;          // 0x3007
    TimeSlot lastModificationTime;  // 0x3008
    // Code pages of the item's 8-bit strings and of its HTML body bytes; 0 until one is seen.
    std::uint32_t codepage = 0;
    std::uint32_t htmlCodepage = 0;

    const std::string* stringById(std::uint32_t id) const {
        auto it = stringsById.find(id);
        return it == stringsById.end() ? nullptr : &it->second;
    }
};

// A record for an item (with the strings-by-id table) or a folder (without it).
std::shared_ptr<MessageRecord> makeItemRecord();

// How much of an item a load fills. `Summary` fills what a summary row shows (class, subject,
// sender and recipient display texts, times, bodies, attachment names) and leaves out the
// recipient table and every other text: a recovery pass loads each item for its row alone.
enum class LoadScope : std::uint8_t { Full, Summary };
std::shared_ptr<MessageRecord> makeFolderRecord();

}  // namespace brevik
