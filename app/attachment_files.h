// Attachments taken out one by one: written into a folder under a name made safe, never over a
// file that is there already, and attached messages read whole for a viewer of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bytes.h"
#include "recovery/recovered_base.h"

namespace brevik::app {

// Writes `bytes` into `folder` as `name` made safe (its last path component only); when that
// name is taken, as "name (2).ext" and so on. With `replace`, an existing file of exactly that
// name is replaced instead (the user chose it); the new content appears whole or not at all.
// `privateFile` keeps the file to its owner. The path written; empty on failure, with `error`.
std::string writeAttachmentFile(const std::string& folder, std::string_view name,
                                std::string_view bytes, bool replace = false,
                                bool privateFile = false, std::string* error = nullptr);

struct ShownMessage;

// One attachment of an attached message, with its bytes read already.
struct ShownAttachment {
    std::string name;
    std::string mimeType;
    std::string contentId;
    Bytes data;  // an attached message: the message as an .msg file
    std::shared_ptr<const ShownMessage> message;  // set for an attached message
};

// An attached message as a viewer shows it: the texts of its header, its times and its body.
struct ShownMessage {
    std::string from, to, cc, subject;
    std::uint64_t sentTime = 0;      // UTC FILETIME; 0 when none
    std::uint64_t receivedTime = 0;  // UTC FILETIME; 0 when none
    std::uint8_t bodyFormat = 0;     // 0 none, 1 HTML, 3 plain text
    std::string body;                // UTF-8
    std::vector<ShownAttachment> attachments;
};

// The `k`-th attached message (counting attached messages only, in attachment order) of item
// `item`, read again from the file; empty when it cannot be read.
std::optional<ShownAttachment> attachedMessage(RecoveredBase& base, std::uint32_t item,
                                               std::size_t k);

}  // namespace brevik::app
