#include "message/item_access.h"

#include <algorithm>
#include <array>
#include <utility>

#include "message/property_reader.h"
#include "message/text.h"

namespace brevik {
namespace {

std::string text(const StringSlot& s) {
    return s ? std::string(s->c_str()) : std::string();
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return s;
}

std::string withoutAngleBrackets(std::string id) {
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
    return id;
}

std::string fileName(const AttachmentRecord& a) {
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

}  // namespace

std::string itemBody(MessageBase& base, const ItemSummary& s) {
    if (!s.bodyText.empty() || s.bodyFormat == 0 || s.bodyRef.type == 0) return s.bodyText;
    const Bytes raw = loadValue(base, s.bodyRef, 2, true);
    if (raw.empty()) return {};
    if (s.bodyRef.type == ptype::kUnicode)
        return std::string(reinterpret_cast<const char*>(raw.data()));
    return codepageToUtf8(raw.data(), raw.size(), s.bodyCodepage);
}

Bytes attachmentData(MessageBase& base, const AttachmentRecord& attachment) {
    // A locator that was never set names no value; reading it would fetch block 0.
    if (attachment.dataLocator.type != ptype::kBinary) return {};
    return loadValue(base, attachment.dataLocator, 0, false);
}

const AttachmentRecord* findByContentId(const MessageRecord& record, const std::string& contentId) {
    const std::string want = withoutAngleBrackets(lower(contentId));
    if (want.empty()) return nullptr;
    for (const AttachmentRecord& a : record.attachments) {
        const std::string id = withoutAngleBrackets(lower(text(a.contentId)));
        if (!id.empty() && id == want) return &a;
    }
    for (const AttachmentRecord& a : record.attachments)
        if (lower(fileName(a)) == want) return &a;
    return nullptr;
}

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

}  // namespace brevik
