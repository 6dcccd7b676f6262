#include "views/item_content.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>

#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/property_reader.h"
#include "message/text.h"
#include "writers/eml/eml_writer.h"
#include "writers/pst/recovered_store.h"

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

// A display name as an address list can carry it: quoted when it holds specials such as the
// comma of "Smith, Ann".
std::string phrase(const std::string& name) {
    const std::string encoded = headerText(name);
    if (encoded != oneLine(name) || encoded.find_first_of("()<>[]:;@\\,.\"") == std::string::npos)
        return encoded;
    std::string quoted = "\"";
    for (char c : encoded) {
        if (c == '"' || c == '\\') quoted.push_back('\\');
        quoted.push_back(c);
    }
    return quoted + "\"";
}

std::string mailbox(const std::string& name, const std::string& address) {
    if (address.empty() || address.find('@') == std::string::npos) return phrase(name);
    if (name.empty() || name == address) return "<" + oneLine(address) + ">";
    return phrase(name) + " <" + oneLine(address) + ">";
}

std::string attachmentName(const AttachmentRecord& a) {
    for (const StringSlot* s : {&a.longFileName, &a.fileName, &a.displayName})
        if (!text(*s).empty()) return text(*s);
    return "attachment";
}

// The first e-mail address of a contact: a named property of the address set
// (PSETID_Address, id 0x8083), found through the file's name-to-id map.
std::string contactEmail(const MessageBase& base, const MessageRecord& r) {
    static constexpr std::array<std::uint8_t, 16> kAddressSet = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00,
                                                                 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                                                 0x00, 0x00, 0x00, 0x46};
    for (const NamedPropertyEntry& e : base.namedProps) {
        const std::uint32_t guid = (e.guidWord & 0xFFFF) >> 1;
        if ((e.guidWord & 1) || e.numericId != 0x8083 || guid < 3 ||
            guid - 3 >= base.namedPropGuids.size() || base.namedPropGuids[guid - 3] != kAddressSet)
            continue;
        if (const std::string* mail = r.stringById(e.propertyId)) return std::string(mail->c_str());
    }
    return {};
}

// A contact's fields as lines of text: the body of an opened contact.
std::string contactText(const MessageBase& base, const MessageRecord& r) {
    static const std::pair<std::uint32_t, const char*> kFields[] = {
        {0x3A45, "Title"},       {0x3A06, "Given name"},   {0x3A44, "Middle name"},
        {0x3A11, "Surname"},     {0x3A4F, "Nickname"},     {0x3A16, "Company"},
        {0x3A18, "Department"},  {0x3A17, "Job title"},    {0x3A08, "Business phone"},
        {0x3A09, "Home phone"},  {0x3A1C, "Mobile phone"}, {0x3A24, "Business fax"},
        {0x3A29, "Street"},      {0x3A27, "City"},         {0x3A28, "State"},
        {0x3A2A, "Postal code"}, {0x3A26, "Country"},      {0x3A51, "Web page"}};
    std::string out = "Full name: " + text(r.displayName) + "\r\n";
    const std::string mail = contactEmail(base, r);
    if (!mail.empty()) out += "E-mail: " + mail + "\r\n";
    if (!r.contact) return out;
    for (const auto& [id, label] : kFields) {
        const std::string value = text(r.contact->slot(id));
        if (!value.empty()) out += std::string(label) + ": " + value + "\r\n";
    }
    return out;
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
    // Recipients with their addresses where the item lists them, else the display lines.
    std::string to, cc;
    if (record)
        for (const RecipientRecord& r : record->recipients) {
            const std::uint32_t type = r.recipientType.value_or(1) & 0xF;
            std::string& line = type == 1 ? to : cc;
            if (type > 2) continue;
            line += (line.empty() ? "" : ", ") + mailbox(text(r.displayName), text(r.emailAddress));
        }
    if (to.empty() && !s.toText.empty()) to = headerText(s.toText);
    if (cc.empty() && !text(env.displayCc).empty()) cc = headerText(text(env.displayCc));
    if (!to.empty()) h += "To: " + to + "\r\n";
    if (!cc.empty()) h += "Cc: " + cc + "\r\n";
    h += "Subject: " + headerText(s.subjectText) + "\r\n";
    if (s.utcTime) h += "Date: " + rfc5322Date(s.utcTime) + "\r\n";
    if (!text(env.internetMessageId).empty())
        h += "Message-ID: " + oneLine(text(env.internetMessageId)) + "\r\n";
    h += "MIME-Version: 1.0\r\n";

    const std::string bodyType =
        s.bodyFormat == 1 && s.kind != item_kind::kContact ? "text/html" : "text/plain";
    const std::string boundary = "=_brevik_" + std::to_string(item) + "_boundary";
    const bool multipart = record && !record->attachments.empty();
    if (multipart)
        h += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
    else
        h += "Content-Type: " + bodyType +
             "; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n";
    if (!withContent) return out;

    const bool contact = s.kind == item_kind::kContact && record;
    const std::string body = contact ? contactText(base, *record) : itemBody(base, item);
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
    // Mail goes through the full writer (embedded messages, inline pictures); contacts and
    // notes read better as the fields rendered here.
    const std::uint8_t kind = item < base.itemSummaries.size() ? base.itemSummaries[item].kind : 0;
    if (kind != item_kind::kContact && kind != item_kind::kNote) {
        if (auto full = pst::recoveredItem(base, item, pst::recoveredNames(base)))
            return eml::writeEml(*full);
    }
    const Rendered r = render(base, item, true);
    return r.headers + "\r\n" + r.body;
}

}  // namespace brevik::views
