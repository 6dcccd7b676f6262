#include "writers/files/header_values.h"

#include <algorithm>
#include <cstdint>

namespace brevik::files {
namespace {

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

bool isTokenChar(unsigned char c) {
    constexpr std::string_view kSpecials = "()<>@,;:\\\"/[]?= ";
    return c > 0x20 && c < 0x7F && kSpecials.find(static_cast<char>(c)) == std::string_view::npos;
}

bool isToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return isTokenChar(static_cast<unsigned char>(c));
    });
}

}  // namespace

std::string headerText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool inBreak = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n' || c == '\t') {
            if (!inBreak) out += ' ';
            inBreak = true;
            continue;
        }
        inBreak = false;
        // C1 controls are U+0080..U+009F, in UTF-8 0xC2 0x80..0x9F.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            ++i;
            continue;
        }
        if (!isControl(c)) out += static_cast<char>(c);
    }
    return out;
}

std::optional<std::string> headerId(std::string_view id) {
    if (id.empty() || std::any_of(id.begin(), id.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return isControl(u) || u == ' ';
        }))
        return std::nullopt;
    return std::string(id);
}

std::optional<std::string> headerIdList(std::string_view ids) {
    std::string words, bracketed;
    std::string_view rest = ids;
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const std::string_view word = rest.substr(0, rest.find_first_of(" \t\r\n"));
        rest.remove_prefix(word.size());
        if (std::any_of(word.begin(), word.end(),
                        [](char c) { return isControl(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        (words.empty() ? words : words += ' ') += word;
        if (word.size() > 2 && word.front() == '<' && word.back() == '>')
            (bracketed.empty() ? bracketed : bracketed += ' ') += word;
    }
    // Words around the ids are no part of them (and may be a header smuggled in).
    if (!bracketed.empty()) return bracketed;
    if (words.empty()) return std::nullopt;
    return words;
}

std::string mimeType(std::string_view type) {
    const std::string_view kFallback = "application/octet-stream";
    type = type.substr(0, type.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.remove_suffix(1);
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
        type.remove_prefix(1);
    const std::size_t slash = type.find('/');
    if (slash == std::string_view::npos || !isToken(type.substr(0, slash)) ||
        !isToken(type.substr(slash + 1)))
        return std::string(kFallback);
    std::string out(type);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace brevik::files
