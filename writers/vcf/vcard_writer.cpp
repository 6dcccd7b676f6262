#include "writers/vcf/vcard_writer.h"

#include <cstdio>
#include <vector>

namespace brevik::vcf {
namespace {

constexpr std::size_t kMaxLineOctets = 75;

std::string base64(const Bytes& data) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t n = (std::uint32_t{data[i]} << 16) |
                                (i + 1 < data.size() ? std::uint32_t{data[i + 1]} << 8 : 0) |
                                (i + 2 < data.size() ? data[i + 2] : 0);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < data.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kAlphabet[n & 63] : '=';
    }
    return out;
}

class Card {
  public:
    explicit Card(const char* version) {
        add("BEGIN:VCARD");
        add(std::string("VERSION:") + version);
    }
    void add(std::string_view line) { text_ += foldLine(line); }
    // NAME:value with the value escaped; nothing when the value is empty.
    void text(std::string_view name, std::string_view value) {
        if (!value.empty()) add(std::string(name) + ":" + escapeText(value));
    }
    // A structured value: components escaped one by one, joined by ";", empty ones at the end
    // left out.
    void structured(std::string_view name, std::vector<std::string> parts) {
        while (!parts.empty() && parts.back().empty())
            parts.pop_back();
        if (parts.empty()) return;
        std::string value;
        for (std::size_t i = 0; i < parts.size(); ++i)
            value += (i ? ";" : "") + escapeText(parts[i]);
        add(std::string(name) + ":" + value);
    }
    std::string finish() {
        add("END:VCARD");
        return std::move(text_);
    }

  private:
    std::string text_;
};

std::string dateValue(std::uint64_t filetime) {
    const CivilDate d = contactDate(filetime);
    char b[16];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d", d.year, d.month, d.day);
    return b;
}

std::string telType(const std::string& type) {
    if (type == "work") return "WORK,VOICE";
    if (type == "home") return "HOME,VOICE";
    if (type == "cell") return "CELL,VOICE";
    if (type == "fax-work") return "WORK,FAX";
    if (type == "fax-home") return "HOME,FAX";
    if (type == "fax") return "FAX";
    if (type == "pager") return "PAGER";
    if (type == "car") return "CAR,VOICE";
    if (type == "isdn") return "ISDN";
    if (type == "main" || type == "company") return "WORK,PREF";
    return "VOICE";
}

}  // namespace

std::string escapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case ',':
                out += "\\,";
                break;
            case ';':
                out += "\\;";
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                out += "\\n";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                // Other control characters have no place in a vCard line.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                    out += ' ';
                else
                    out += c;
        }
    }
    return out;
}

std::string foldLine(std::string_view line) {
    std::string out;
    out.reserve(line.size() + line.size() / 70 * 3 + 2);
    std::size_t width = 0;  // octets on the current line, the leading blank included
    for (std::size_t i = 0; i < line.size();) {
        // One character: a UTF-8 lead byte and its continuation bytes stay together.
        std::size_t n = 1;
        while (i + n < line.size() && (static_cast<unsigned char>(line[i + n]) & 0xC0) == 0x80)
            ++n;
        if (width + n > kMaxLineOctets) {
            out += "\r\n ";
            width = 1;
        }
        out.append(line.substr(i, n));
        width += n;
        i += n;
    }
    out += "\r\n";
    return out;
}

std::string memberUid(std::uint32_t nodeId, std::uint64_t fileKey) {
    char b[64];
    std::snprintf(b, sizeof b, "urn:uuid:%08x-%04x-4%03x-8%03x-%012llx", nodeId,
                  static_cast<unsigned>(fileKey >> 48) & 0xFFFF,
                  static_cast<unsigned>(fileKey >> 36) & 0xFFF,
                  static_cast<unsigned>(fileKey >> 24) & 0xFFF,
                  static_cast<unsigned long long>(fileKey & 0xFFFFFFULL));
    return b;
}

std::string contactCard(const ContactFields& c, const std::string& uid) {
    Card card("3.0");
    std::string fn = c.displayName;
    if (fn.empty()) {
        for (const std::string* part : {&c.givenName, &c.middleName, &c.surname})
            if (!part->empty()) fn += (fn.empty() ? "" : " ") + *part;
    }
    if (fn.empty())
        fn = !c.company.empty() ? c.company : !c.emails.empty() ? c.emails[0].address : "";
    // FN and N are required in 3.0.
    card.add("FN:" + escapeText(fn));
    card.add("N:" + escapeText(c.surname) + ";" + escapeText(c.givenName) + ";" +
             escapeText(c.middleName) + ";" + escapeText(c.prefix) + ";" + escapeText(c.suffix));
    card.text("NICKNAME", c.nickname);
    card.text("SORT-STRING", c.fileAs);
    card.structured("ORG", {c.company, c.department});
    card.text("TITLE", c.title);
    for (std::size_t i = 0; i < c.emails.size(); ++i)
        card.add(std::string("EMAIL;TYPE=INTERNET") + (i == 0 ? ",PREF" : "") + ":" +
                 escapeText(c.emails[i].address));
    for (const ContactPhone& p : c.phones)
        card.add("TEL;TYPE=" + telType(p.type) + ":" + escapeText(p.number));
    for (const ContactAddress& a : c.addresses) {
        const std::string type = a.type == "work" ? "WORK" : a.type == "home" ? "HOME" : "POSTAL";
        card.add("ADR;TYPE=" + type + (a.mailing ? ",PREF" : "") + ":" + escapeText(a.poBox) +
                 ";;" + escapeText(a.street) + ";" + escapeText(a.city) + ";" +
                 escapeText(a.region) + ";" + escapeText(a.postalCode) + ";" +
                 escapeText(a.country));
    }
    if (!c.webPage.empty()) card.add("URL;TYPE=WORK:" + escapeText(c.webPage));
    if (!c.homePage.empty()) card.add("URL;TYPE=HOME:" + escapeText(c.homePage));
    card.text("X-AIM", c.imAddress);
    if (c.birthday) card.add("BDAY:" + dateValue(*c.birthday));
    if (c.anniversary) card.add("X-ANNIVERSARY:" + dateValue(*c.anniversary));
    card.text("X-SPOUSE", c.spouse);
    card.text("X-MANAGER", c.manager);
    card.text("X-ASSISTANT", c.assistant);
    card.text("NOTE", c.notes);
    if (!c.categories.empty()) {
        std::string value;
        for (const std::string& category : c.categories)
            value += (value.empty() ? "" : ",") + escapeText(category);
        card.add("CATEGORIES:" + value);
    }
    if (!c.picture.empty()) {
        std::string type = c.pictureType.substr(c.pictureType.find('/') + 1);
        for (char& ch : type)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        card.add("PHOTO;ENCODING=b;TYPE=" + type + ":" + base64(c.picture));
    }
    card.add("UID:" + escapeText(uid));
    return card.finish();
}

std::string listCard(const DistListFields& l, const std::string& uid, std::uint64_t fileKey) {
    Card card("4.0");
    card.add("KIND:group");
    card.add("FN:" + escapeText(l.name.empty() ? "Distribution list" : l.name));
    card.add("N:" + escapeText(l.name) + ";;;;");
    for (const DistListMember& m : l.members) {
        // MEMBER is a URI: the address where there is one (it stands alone), else the card of
        // the contact or list on file.
        if (m.address.find('@') != std::string::npos &&
            m.address.find_first_of(" \r\n<>") == std::string::npos)
            card.add("MEMBER:mailto:" + m.address);
        else if (m.nodeId)
            card.add("MEMBER:" + memberUid(*m.nodeId, fileKey));
    }
    card.text("NOTE", l.notes);
    card.add("UID:" + escapeText(uid));
    return card.finish();
}

}  // namespace brevik::vcf
