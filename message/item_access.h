// What the preview and the "open" commands read of one item beyond its summary row: the body,
// attachment data, the attachment an HTML body names, and a contact's fields as text. Read from
// the file each time; nothing is kept.
#pragma once

#include <string>

#include "engine/bytes.h"
#include "engine/message_base.h"
#include "message/item_summary.h"
#include "message/records.h"

namespace brevik {

// The item's body as UTF-8: the summary row's copy, or read again through its locator. Empty
// when the item has none or it cannot be read.
std::string itemBody(MessageBase& base, const ItemSummary& row);

// The bytes of an attachment stored by value; empty otherwise or when they cannot be read.
Bytes attachmentData(MessageBase& base, const AttachmentRecord& attachment);

// The attachment an HTML body names by "cid:" `contentId` (compared without angle brackets and
// case; a bare file name matches too, as some mailers write it); null when none does.
const AttachmentRecord* findByContentId(const MessageRecord& record, const std::string& contentId);

// A contact's fields as lines of text ("Full name: ...", "E-mail: ...", ...), CRLF-ended.
std::string contactText(const MessageBase& base, const MessageRecord& contact);

}  // namespace brevik
