#include "message/item_access.h"

#include <algorithm>
#include <array>
#include <utility>

#include "message/property_reader.h"
#include "message/property_tags.h"
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

// The first e-mail address of a contact: a named property of the address set
// (PSETID_Address, id 0x8083), found through the file's name-to-id map.
std::string contactEmail(const MessageBase& base, const MessageRecord& r) {
    for (const NamedPropertyEntry& e : base.namedProps) {
        const std::uint32_t guid = (e.guidWord & 0xFFFF) >> 1;
        if ((e.guidWord & 1) || e.numericId != lid::kEmail1EmailAddress || guid < 3 ||
            guid - 3 >= base.namedPropGuids.size() ||
            base.namedPropGuids[guid - 3] != kPsetidAddress)
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
        if (lower(attachmentName(a)) == want) return &a;
    return nullptr;
}

std::string contactText(const MessageBase& base, const MessageRecord& r) {
    static const std::pair<std::uint32_t, const char*> kFields[] = {
        {pid::kDisplayNamePrefix, "Title"},
        {pid::kGivenName, "Given name"},
        {pid::kMiddleName, "Middle name"},
        {pid::kSurname, "Surname"},
        {pid::kNickname, "Nickname"},
        {pid::kCompanyName, "Company"},
        {pid::kDepartmentName, "Department"},
        {pid::kTitle, "Job title"},
        {pid::kBusinessTelephoneNumber, "Business phone"},
        {pid::kHomeTelephoneNumber, "Home phone"},
        {pid::kMobileTelephoneNumber, "Mobile phone"},
        {pid::kBusinessFaxNumber, "Business fax"},
        {pid::kStreetAddress, "Street"},
        {pid::kLocality, "City"},
        {pid::kStateOrProvince, "State"},
        {pid::kPostalCode, "Postal code"},
        {pid::kCountry, "Country"},
        {pid::kBusinessHomePage, "Web page"}};
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
