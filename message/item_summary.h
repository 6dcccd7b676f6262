// One display row per recovered item: what the item list and the first preview step need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "message/item_type.h"
#include "message/property_value.h"

namespace brevik {

class MessageBase;
struct AttachmentRecord;
struct MessageRecord;

// Bodies up to this size are copied into their summary row while the base's total stays within
// the budget; the rest are read again when shown.
inline constexpr std::size_t kMaxKeptBodyBytes = 64 * 1024;
inline constexpr std::uint64_t kKeptBodyBudgetBytes = 256ull << 20;

// One per item, so small fields share their words.
struct ItemSummary {
    std::string fromText;
    std::string toText;
    std::string subjectText;
    std::string dateText;        // empty when the item has no time
    std::uint64_t sortTime = 0;  // shown time as a local-time FILETIME; 0 when none
    std::uint64_t utcTime = 0;   // the same moment as a UTC FILETIME; 0 when none
    std::int16_t attachmentCount = 0;
    std::uint8_t deletedMark = 0;     // 1 when the node entry came from an unreachable index page
    std::uint8_t hiddenCode = 0;      // 201 for hidden system items never listed
    std::uint8_t kind = 0;            // low byte of the item kind
    ItemType type = ItemType::Other;  // what the message class says the item is
    std::uint8_t bodyFormat = 0;      // 0 none, 1 HTML, 3 plain text
    // The item had no HTML or text body: the body is what its compressed RTF says, and `bodyRef`
    // locates the compressed RTF. `rtfDamaged`: the RTF did not decompress whole.
    bool bodyFromRtf = false;
    bool rtfDamaged = false;
    std::uint32_t number = 0;  // running number within the base
    // A folder-associated item (node type 0x08): hidden (`hiddenCode` 201) and unnumbered.
    bool associated = false;
    std::string bodyText;          // a copy of the body; empty when it was left out to save memory
    std::uint32_t bodyLength = 0;  // bytes of the body plus a terminating zero, kept or not
    std::uint32_t bodyCodepage = 0;  // code page of an 8-bit or binary body read again by bodyRef
    ValueLocator bodyRef;
    std::vector<std::string> attachmentNames;
    std::string messageClass;  // empty when the item has none
};

// The body an item shows: its HTML body, else its text body, else what its compressed RTF says.
struct ItemBody {
    std::uint8_t format = 0;  // as ItemSummary::bodyFormat
    std::string text;
    ValueLocator ref;
    std::uint32_t codepage = 0;
    bool fromRtf = false;
    bool rtfDamaged = false;
};
ItemBody chooseItemBody(const MessageRecord& record);

// The name an attachment is listed by: its long file name, file name or display name, else
// "Attachment".
std::string attachmentName(const AttachmentRecord& attachment);

// A time as the item list shows it.
struct FormattedTime {
    std::string text;             // local short date, a blank and hours:minutes
    std::uint64_t localFiletime;  // the same moment as a local-time FILETIME
};

// Formats a UTC FILETIME in local time with the C library's short date ("%x") and "%H:%M".
FormattedTime formatItemTime(std::uint64_t utcFiletime);

// A base's summary rows, indexed like its `messageEntries`, with the running number and the
// budget of body copies that numbering and filling them share.
struct SummaryRows {
    std::vector<ItemSummary> itemSummaries;
    std::uint32_t summaryCounter = 0;
    std::uint64_t keptBodyBytes = 0;  // body copies held by the rows
    // Rows keep copies of short bodies so that a view shows them at once; a caller that never
    // shows bodies turns this off before a pass, and the rows then hold none.
    bool keepBodyCopies = true;

    // Frees the rows and starts the numbering again; keeps `keepBodyCopies`.
    void clearRows();
};

// Fills `rows.itemSummaries[itemIndex]` from the loaded record of `base.messageEntries[itemIndex]`
// and advances `rows.summaryCounter` for every item that is not a hidden system item.
void buildItemSummary(const MessageBase& base, SummaryRows& rows, std::uint32_t itemIndex);

// buildItemSummary in two steps, for loading items on several threads. The first touches only
// the item's row: everything but `number`, with a body copy that may still be dropped. The
// second, called in item order, numbers the row and holds its body copy to the rows' budget.
struct SummaryPlace {
    bool numbered = false;  // the row was filled
    bool counted = false;   // it advances the running number
};
SummaryPlace summariseItem(const MessageBase& base, SummaryRows& rows, std::uint32_t itemIndex);
void placeItemSummary(SummaryRows& rows, std::uint32_t itemIndex, SummaryPlace place);

}  // namespace brevik
