// What the preview and the "open" commands read of one item beyond its summary row: the body,
// the full record, attachment data, and a plain RFC 5322 rendering. Read from the file each
// time; nothing is kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/bytes.h"
#include "engine/message_base.h"
#include "message/records.h"

namespace brevik::views {

// The item's body as UTF-8: the summary row's copy, or read again through its locator.
// Empty when the item has none or it cannot be read.
std::string itemBody(MessageBase& base, std::uint32_t item);

// The item read again with its recipients and attachments (without attachment data); null when
// its properties cannot be read.
std::shared_ptr<MessageRecord> itemRecord(MessageBase& base, std::uint32_t item);

// The bytes of an attachment stored by value; empty otherwise or when they cannot be read.
Bytes attachmentData(MessageBase& base, const AttachmentRecord& attachment);

// The attachment an HTML body names by "cid:" `contentId` (compared without angle brackets and
// case; a bare file name matches too, as some mailers write it); null when none does.
const AttachmentRecord* findByContentId(const MessageRecord& record, const std::string& contentId);

// The header lines the item came with (its transport headers), or those an .eml of it gets.
std::string itemSourceHeaders(MessageBase& base, std::uint32_t item);

// The item as an RFC 5322 message (MIME, UTF-8, base64 parts) with its attachments.
std::string itemAsEml(MessageBase& base, std::uint32_t item);

}  // namespace brevik::views
