// Text conversions: every text that reaches a record or a view is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/bytes.h"

namespace brevik {

// Appends code point `c` as UTF-8 (the caller passes valid scalar values).
void appendUtf8(std::string& out, char32_t c);

// Well-formed UTF-8: no overlong forms, surrogates, values past U+10FFFF or cut sequences.
bool isWellFormedUtf8(std::string_view text);

// The code point of the well-formed UTF-8 sequence at `text[i]` and its length in bytes; 0 when
// the bytes there are not one.
std::size_t decodeUtf8At(std::string_view text, std::size_t i, char32_t& c);

// Characters that change how the text around them is shown without showing themselves: C1
// controls, bidirectional marks, embeddings, overrides and isolates, line and paragraph
// separators. A name holding U+202E reads backwards ("invoice\u202Efdp.exe" shows as a PDF).
bool isInvisibleControl(char32_t c);

// UTF-16LE to UTF-8; stops at the first zero character; bad surrogates become U+FFFD.
std::string utf16ToUtf8(const std::uint8_t* data, std::size_t byteLength);

// Rewrites a UTF-16LE string held in `buffer` as zero-terminated UTF-8 in place (the buffer is
// resized to the text plus its terminating zero).
void wideToAnsiInPlace(Bytes& buffer);

// 8-bit text in the given Windows code page (0 = Windows-1252) to UTF-8, through iconv; bytes
// that do not convert become U+FFFD. Stops at the first zero byte.
std::string codepageToUtf8(const std::uint8_t* data, std::size_t length, std::uint32_t codepage);

}  // namespace brevik
