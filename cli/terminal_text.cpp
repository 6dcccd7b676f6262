#include "cli/terminal_text.h"

#include <cstdint>

#include "message/text.h"

namespace brevik::cli {
namespace {

// "\\xHH" or "\\uHHHH".
void appendEscape(std::string& out, char kind, unsigned value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    out += '\\';
    out += kind;
    for (int shift = kind == 'u' ? 12 : 4; shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
}

std::string escaped(std::string_view text, bool block) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t n = decodeUtf8At(text, i, c);
        if (n == 0) {
            appendEscape(out, 'x', static_cast<std::uint8_t>(text[i]));
            ++i;
            continue;
        }
        if (block && (c == '\n' || c == '\t')) {
            out += static_cast<char>(c);
        } else if (block && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            // the line feed that follows is kept
        } else if (c == 0x1B) {
            out += "\\e";
        } else if (c < 0x20 || c == 0x7F) {
            appendEscape(out, 'x', static_cast<unsigned>(c));
        } else if (isInvisibleControl(c)) {
            appendEscape(out, 'u', static_cast<unsigned>(c));
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

}  // namespace

std::string terminalLine(std::string_view text) {
    return escaped(text, false);
}

std::string terminalBlock(std::string_view text) {
    return escaped(text, true);
}

}  // namespace brevik::cli
