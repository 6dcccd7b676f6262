// Loads one item with its recipients and attachments into a MessageRecord.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "engine/message_base.h"
#include "message/property_value.h"
#include "message/records.h"

namespace brevik {

class ReadWindow;

// Reads `base.messageEntries[itemIndex]` (its data block and subnodes) into a new item record
// stored in the entry's `record`: own properties, recipients (top-level table only) and
// attachments, each completed by its own property context. Embedded-message attachments get
// ".msg" on their names. Returns 0, or -1 when the item's own properties cannot be read (no
// record then) or a fault stopped the work (the record keeps what was filled). A `Summary` load
// skips the recipients and what no summary row shows.
int loadMessage(MessageBase& base, std::uint32_t itemIndex, LoadScope scope = LoadScope::Full);

// The same record without storing it in the entry, so that views can read an item again while
// a worker reads the same base. Null when the item's own properties cannot be read.
std::shared_ptr<MessageRecord> loadItemRecord(MessageBase& base, std::uint32_t itemIndex);

// Reads what loading `items` in full will ask for into `window`, in four batches of reads
// rather than a read per block: their data blocks and subnode lists, the lists' nested lists,
// the data of every subnode, then the blocks below data trees.
void readItemsAhead(MessageBase& base, ReadWindow& window, std::span<const std::uint32_t> items);

// Runs `load`, which loads `items` in full, with a window that readItemsAhead filled open on this
// thread: the loads' reads come from memory.
void loadWithItemsAhead(MessageBase& base, std::span<const std::uint32_t> items,
                        const std::function<void()>& load);

// Fills `record.recipients` from the rows of a recipient table: a row with an entry id (0x0FFF)
// completes a recipient, a row without one is filled into the same record as the next row.
// Display names lose surrounding blanks. Returns 1.
int fillRecipients(MessageBase* base, const PropertyList& rows, MessageRecord& record);

// `s` without leading and trailing blanks (0x20 only).
std::string trimSpaces(std::string_view s);

}  // namespace brevik
