// Texts from a file on their way into a header of another format. A damaged or hostile item may
// hold line breaks in a message id or a MIME type, which written raw would add headers of the
// item's own choosing (a Bcc, a second body) to every exported message. Every value from the
// file that becomes a header goes through one of these.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brevik::files {

// Free text (a subject, a display name, a file name) as one line: each run of line breaks and
// tabs becomes one space, other control characters (C0, DEL, C1) are removed.
std::string headerText(std::string_view text);

// One message or content id, with or without its angle brackets; empty when it holds
// whitespace or control characters (a damaged id is dropped, not repaired into another).
std::optional<std::string> headerId(std::string_view id);

// A list of message ids (In-Reply-To, References) as one line: the "<...>" ids it holds, or its
// words when it holds none; empty when a control character other than whitespace is in it.
std::optional<std::string> headerIdList(std::string_view ids);

// "type/subtype" in lower case when both halves are MIME tokens (RFC 2045), parameters cut off;
// "application/octet-stream" for anything else.
std::string mimeType(std::string_view type);

}  // namespace brevik::files
