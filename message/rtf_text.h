// What an RTF body says, as HTML or plain text ([MS-OXRTFEX] de-encapsulation, else a plain-text
// reading of native RTF).
#pragma once

#include <cstdint>
#include <string>

#include "engine/bytes.h"

namespace brevik {

// Where the RTF came from: HTML or plain text wrapped in RTF, or RTF written as such.
enum class RtfOrigin : std::uint8_t { Native, Html, Text };

struct RtfBody {
    RtfOrigin origin = RtfOrigin::Native;
    std::string text;  // UTF-8: the HTML for Html, plain text otherwise; lines end in CRLF
    bool isHtml() const { return origin == RtfOrigin::Html; }
};

// Reads decompressed RTF. Escapes (\'hh in the code page of \ansicpg or of the current font,
// \uN with its fallback skipped) become UTF-8; destinations that hold no body text (font and
// colour tables, pictures, fields' instructions, hidden text) are left out.
RtfBody rtfToBody(ByteView rtf);

}  // namespace brevik
