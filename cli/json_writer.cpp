#include "cli/json_writer.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>
#include <ostream>

namespace brevik::cli {
namespace {

constexpr std::size_t kFlushBytes = 64 * 1024;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at the start of `s`, or 0 when it is invalid; `bad` is
// then how many bytes form the invalid part (its maximal prefix of a valid sequence, at least 1).
std::size_t utf8Sequence(std::string_view s, std::size_t& bad) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    std::size_t length;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        bad = 1;
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = k < s.size() ? static_cast<unsigned char>(s[k]) : 0;
        const bool ok = k == 1 ? (b >= lo && b <= hi) : (b >= 0x80 && b <= 0xBF);
        if (!ok) {
            bad = k;
            return 0;
        }
    }
    return length;
}

// Whether any of the eight bytes of `w` must be escaped or checked as UTF-8: a control
// character, a byte above 0x7F, '"' or '\\'.
bool needsCare(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
    const std::uint64_t below20 = (w - 0x20 * kOnes) & ~w & kHigh;
    return ((w & kHigh) | below20 | hasZero(w ^ ('"' * kOnes)) | hasZero(w ^ ('\\' * kOnes))) != 0;
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        // Plain printable ASCII goes over in one piece, found eight bytes at a time.
        std::size_t plain = i;
        while (plain + 8 <= text.size()) {
            std::uint64_t w;
            std::memcpy(&w, text.data() + plain, 8);
            if (needsCare(w)) break;
            plain += 8;
        }
        while (plain < text.size()) {
            const auto b = static_cast<unsigned char>(text[plain]);
            if (b < 0x20 || b >= 0x80 || b == '"' || b == '\\') break;
            ++plain;
        }
        out.append(text.data() + i, plain - i);
        i = plain;
        if (i == text.size()) break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            std::size_t bad = 0;
            const std::size_t n = utf8Sequence(text.substr(i), bad);
            if (n == 0) {
                out += kReplacement;
                i += bad;
            } else {
                out.append(text.data() + i, n);
                i += n;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
    out += '"';
}

JsonWriter::JsonWriter(std::ostream& out, Layout layout) : out_(&out), layout_(layout) {
    buffer_.reserve(kFlushBytes + 4096);
}

JsonWriter::JsonWriter(const JsonWriter& context, Apart)
    : out_(nullptr), layout_(context.layout_), levels_(context.levels_) {
    if (!levels_.empty()) levels_.back().members = 0;
}

JsonWriter::JsonWriter(const JsonWriter& context, Apart apart, std::string buffer)
    : JsonWriter(context, apart) {
    buffer_ = std::move(buffer);
    buffer_.clear();
}

void JsonWriter::placeElements(std::string_view text, std::uint32_t count) {
    if (!levels_.empty() && count > 0 && levels_.back().members > 0) buffer_ += ',';
    if (!levels_.empty()) levels_.back().members += count;
    // A large part goes to the stream as it is, not through the buffer.
    if (out_ && text.size() >= kFlushBytes) {
        flush();
        out_->write(text.data(), static_cast<std::streamsize>(text.size()));
        return;
    }
    buffer_ += text;
    if (buffer_.size() >= kFlushBytes) flush();
}

JsonWriter::~JsonWriter() {
    flush();
}

void JsonWriter::flush() {
    if (!out_) return;
    out_->write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
}

void JsonWriter::newline(std::size_t depth) {
    if (layout_ == Layout::Compact) return;
    buffer_ += '\n';
    buffer_.append(2 * depth, ' ');
}

void JsonWriter::beforeValue() {
    if (keyPending_) {
        keyPending_ = false;
        return;
    }
    if (levels_.empty()) return;
    Level& level = levels_.back();
    if (level.members++ > 0) buffer_ += ',';
    newline(levels_.size());
}

void JsonWriter::afterValue() {
    if (!levels_.empty()) return;
    buffer_ += '\n';  // a whole document, or one line of JSON lines
    flush();
}

JsonWriter& JsonWriter::key(std::string_view name) {
    Level& level = levels_.back();
    const bool comma = level.members++ > 0;
    const bool indented = layout_ == Layout::Indented;
    const std::size_t indent = indented ? 2 * levels_.size() : 0;
    keyPending_ = true;
    // Member names are the program's own plain words: the separator, the indent and the quoted
    // name go over in one piece, which matters at twenty members an item.
    char head[128];
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    });
    if (plain && name.size() + indent + 6 <= sizeof head) {
        char* w = head;
        if (comma) *w++ = ',';
        if (indented) {
            *w++ = '\n';
            w = std::fill_n(w, indent, ' ');
        }
        *w++ = '"';
        w = std::copy(name.begin(), name.end(), w);
        *w++ = '"';
        *w++ = ':';
        if (indented) *w++ = ' ';
        buffer_.append(head, static_cast<std::size_t>(w - head));
        return *this;
    }
    if (comma) buffer_ += ',';
    newline(levels_.size());
    appendJsonString(buffer_, name);
    buffer_ += indented ? ": " : ":";
    return *this;
}

void JsonWriter::begin(char bracket, bool object) {
    beforeValue();
    buffer_ += bracket;
    levels_.push_back({object, 0});
}

void JsonWriter::end(char bracket) {
    const bool hadMembers = levels_.back().members > 0;
    levels_.pop_back();
    if (hadMembers) newline(levels_.size());
    buffer_ += bracket;
    afterValue();
    if (buffer_.size() >= kFlushBytes) flush();
}

void JsonWriter::beginObject() {
    begin('{', true);
}
void JsonWriter::endObject() {
    end('}');
}
void JsonWriter::beginArray() {
    begin('[', false);
}
void JsonWriter::endArray() {
    end(']');
}

void JsonWriter::value(std::string_view text) {
    beforeValue();
    appendJsonString(buffer_, text);
    afterValue();
}

void JsonWriter::value(bool b) {
    beforeValue();
    buffer_ += b ? "true" : "false";
    afterValue();
}

void JsonWriter::value(const nlohmann::json& j) {
    beforeValue();
    const std::string text = j.dump(layout_ == Layout::Compact ? -1 : 2, ' ', false,
                                    nlohmann::json::error_handler_t::replace);
    if (layout_ == Layout::Compact || levels_.empty()) {
        buffer_ += text;
    } else {
        // Nested lines move in to the current depth; strings hold no raw line breaks.
        const std::string indent(2 * levels_.size(), ' ');
        for (char c : text) {
            buffer_ += c;
            if (c == '\n') buffer_ += indent;
        }
    }
    afterValue();
}

void printJson(std::ostream& out, const nlohmann::json& j) {
    JsonWriter(out, JsonWriter::Layout::Indented).value(j);
}

}  // namespace brevik::cli
