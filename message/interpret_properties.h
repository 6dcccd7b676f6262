// Fills item, folder and attachment records from property lists.
#pragma once

#include <cstdint>

#include "engine/message_base.h"
#include "message/property_value.h"
#include "message/records.h"

namespace brevik {

// Code page for 8-bit strings when an item names none.
inline constexpr std::uint32_t kDefaultCodepage = 1252;

// Stores each recognised property of `rows` in its slot of `record`; other string properties
// go to the strings-by-id table when the record has one. Rows of an attachment table (or one
// attachment's own properties) go to the attachment `record.currentAttachment` and onward.
// Values left in subnodes are read through `base`; with a null base they are skipped. Damaged
// data ends the work with what was stored so far. `LoadScope::Summary` stores only what a
// summary row uses. Returns 1.
int interpretProperties(MessageBase* base, const PropertyList& rows, MessageRecord& record,
                        LoadScope scope = LoadScope::Full);

// Whether a `LoadScope::Summary` interpretation stores anything from property `id`: a summary
// load reads only these.
bool summaryProperty(std::uint16_t id);
// The same for an item's attachments, which leave the item's own texts alone.
bool summaryAttachmentProperty(std::uint16_t id);

// Fills `slot` from `v`: UTF-16 and 8-bit text (in `codepage`) become UTF-8, other types keep
// their bytes. A value without data is loaded through its locator (left empty without `base`).
// Returns 1, or -1 when no memory could be had (the slot is then empty).
int storeStringValue(MessageBase* base, StringSlot& slot, const PropertyValue& v,
                     std::uint32_t codepage);

// The code page an item's rows name for its 8-bit strings: PidTagMessageCodepage (0x3FFD), else
// PidTagInternetCodepage (0x3FDE); 0 when none usable is named. US-ASCII is widened to
// Windows-1252, which decodes the same bytes and more.
std::uint32_t findStringCodepage(const PropertyList& rows);
// The code page of the HTML body's bytes: PidTagInternetCodepage, else PidTagMessageCodepage.
std::uint32_t findHtmlCodepage(const PropertyList& rows);

}  // namespace brevik
