#include "views/item_content.h"

#include <algorithm>
#include <ctime>
#include <string_view>

#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/property_reader.h"
#include "message/text.h"

namespace brevik::views {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kUnixEpochSeconds = 11644473600;
constexpr std::size_t kBase64LineChars = 76;

std::string text(const StringSlot& s) {
    return s ? std::string(s->c_str()) : std::string();
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return s;
}

// Header values come from the file: no line breaks may reach the output, or a damaged or
// crafted item could add header lines of its own.
std::string oneLine(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        out.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
    return out;
}

std::string base64(std::string_view data, bool wrap) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(data.size() * 4 / 3 + data.size() / 54 * 2 + 8);
    std::size_t lineChars = 0;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(data[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out.push_back(k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 0x3F] : '=');
        lineChars += 4;
        if (wrap && lineChars >= kBase64LineChars) {
            out += "\r\n";
            lineChars = 0;
        }
    }
    if (wrap && lineChars != 0) out += "\r\n";
    return out;
}

// RFC 2047 encoded word when the text is not plain ASCII.
std::string headerText(std::string_view s) {
    const std::string line = oneLine(s);
    const bool ascii = std::all_of(line.begin(), line.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? line : "=?UTF-8?B?" + base64(line, false) + "?=";
}

// RFC 2231 parameter value for a file name.
std::string fileNameParameter(std::string_view name) {
    const std::string line = oneLine(name);
    const bool plain = std::all_of(line.begin(), line.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x80 && c != '"' && c != '\\';
    });
    if (plain) return "filename=\"" + line + "\"";
    std::string out = "filename*=UTF-8''";
    static const char kHex[] = "0123456789ABCDEF";
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
            c == '.' || c == '-' || c == '_') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        }
    }
    return out;
}

std::string rfc5322Date(std::uint64_t utcFiletime) {
    const std::time_t t = static_cast<std::time_t>(
        static_cast<std::int64_t>(utcFiletime / kTicksPerSecond) - kUnixEpochSeconds);
    std::tm utc{};
    if (!::gmtime_r(&t, &utc)) return {};
    char buf[64] = {};
    // The names must be English whatever the locale.
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[utc.tm_wday % 7],
                  utc.tm_mday, kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour,
                  utc.tm_min, utc.tm_sec);
    return buf;
}

std::string mailbox(const std::string& name, const std::string& address) {
    if (address.empty() || address.find('@') == std::string::npos) return headerText(name);
    if (name.empty() || name == address) return "<" + oneLine(address) + ">";
    return headerText(name) + " <" + oneLine(address) + ">";
}

std::string attachmentName(const AttachmentRecord& a) {
    for (const StringSlot* s : {&a.longFileName, &a.fileName, &a.displayName})
        if (!text(*s).empty()) return text(*s);
    return "attachment";
}

struct Rendered {
    std::string headers;
    std::string body;  // MIME body, after the blank line
};

Rendered render(MessageBase& base, std::uint32_t item, bool withContent) {
    Rendered out;
    if (item >= base.itemSummaries.size()) return out;
    const ItemSummary& s = base.itemSummaries[item];
    const auto record = itemRecord(base, item);
    const MessageEnvelope empty;
    const MessageEnvelope& env = record ? record->envelope : empty;
    const std::string address = text(env.senderEmailAddress).empty()
                                    ? text(env.sentRepresentingEmailAddress)
                                    : text(env.senderEmailAddress);
    std::string& h = out.headers;
    h += "From: " + mailbox(s.fromText, address) + "\r\n";
    if (!s.toText.empty()) h += "To: " + headerText(s.toText) + "\r\n";
    if (!text(env.displayCc).empty()) h += "Cc: " + headerText(text(env.displayCc)) + "\r\n";
    h += "Subject: " + headerText(s.subjectText) + "\r\n";
    if (s.utcTime) h += "Date: " + rfc5322Date(s.utcTime) + "\r\n";
    if (!text(env.internetMessageId).empty())
        h += "Message-ID: " + oneLine(text(env.internetMessageId)) + "\r\n";
    h += "MIME-Version: 1.0\r\n";

    const std::string bodyType = s.bodyFormat == 1 ? "text/html" : "text/plain";
    const std::string boundary = "=_brevik_" + std::to_string(item) + "_boundary";
    const bool multipart = record && !record->attachments.empty();
    if (multipart)
        h += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
    else
        h += "Content-Type: " + bodyType +
             "; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n";
    if (!withContent) return out;

    const std::string body = itemBody(base, item);
    if (!multipart) {
        out.body = base64(body, true);
        return out;
    }
    std::string& b = out.body;
    b += "--" + boundary + "\r\nContent-Type: " + bodyType +
         "; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64(body, true);
    for (const AttachmentRecord& a : record->attachments) {
        if (a.method == kAttachEmbeddedMessage) continue;  // a proper writer carries those
        const Bytes data = attachmentData(base, a);
        const std::string type =
            text(a.mimeTag).empty() ? "application/octet-stream" : oneLine(text(a.mimeTag));
        b += "--" + boundary + "\r\nContent-Type: " + type +
             "\r\nContent-Disposition: attachment; " + fileNameParameter(attachmentName(a)) +
             "\r\n";
        if (!text(a.contentId).empty()) b += "Content-ID: <" + oneLine(text(a.contentId)) + ">\r\n";
        b +=
            "Content-Transfer-Encoding: base64\r\n\r\n" +
            base64(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), true);
    }
    b += "--" + boundary + "--\r\n";
    return out;
}

}  // namespace

std::string itemBody(MessageBase& base, std::uint32_t item) {
    if (item >= base.itemSummaries.size()) return {};
    const ItemSummary& s = base.itemSummaries[item];
    if (!s.bodyText.empty() || s.bodyFormat == 0 || s.bodyRef.type == 0) return s.bodyText;
    const Bytes raw = loadValue(base, s.bodyRef, 2, true);
    if (raw.empty()) return {};
    if (s.bodyRef.type == ptype::kUnicode)
        return std::string(reinterpret_cast<const char*>(raw.data()));
    return codepageToUtf8(raw.data(), raw.size(), s.bodyCodepage);
}

std::shared_ptr<MessageRecord> itemRecord(MessageBase& base, std::uint32_t item) {
    return loadItemRecord(base, item);
}

Bytes attachmentData(MessageBase& base, const AttachmentRecord& attachment) {
    // A locator that was never set names no value; reading it would fetch block 0.
    if (attachment.dataLocator.type != ptype::kBinary) return {};
    return loadValue(base, attachment.dataLocator, 0, false);
}

const AttachmentRecord* findByContentId(const MessageRecord& record, const std::string& contentId) {
    std::string want = lower(contentId);
    if (want.size() >= 2 && want.front() == '<' && want.back() == '>')
        want = want.substr(1, want.size() - 2);
    if (want.empty()) return nullptr;
    for (const AttachmentRecord& a : record.attachments) {
        std::string id = lower(text(a.contentId));
        if (id.size() >= 2 && id.front() == '<' && id.back() == '>')
            id = id.substr(1, id.size() - 2);
        if (!id.empty() && id == want) return &a;
    }
    for (const AttachmentRecord& a : record.attachments)
        if (lower(attachmentName(a)) == want) return &a;
    return nullptr;
}

std::string itemSourceHeaders(MessageBase& base, std::uint32_t item) {
    if (const auto record = itemRecord(base, item)) {
        const std::string headers = text(record->envelope.transportMessageHeaders);
        if (!headers.empty()) return headers;
    }
    return render(base, item, false).headers;
}

std::string itemAsEml(MessageBase& base, std::uint32_t item) {
    const Rendered r = render(base, item, true);
    return r.headers + "\r\n" + r.body;
}

}  // namespace brevik::views
