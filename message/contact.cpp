#include "message/contact.h"

#include <algorithm>
#include <utility>

#include "message/calendar_time.h"
#include "message/item_fields_common.h"
#include "message/property_tags.h"

namespace brevik {
namespace {

const std::pair<std::uint16_t, const char*> kPhones[] = {
    {pid::kBusinessTelephoneNumber, "work"},
    {pid::kBusiness2TelephoneNumber, "work"},
    {pid::kHomeTelephoneNumber, "home"},
    {pid::kHome2TelephoneNumber, "home"},
    {pid::kMobileTelephoneNumber, "cell"},
    {pid::kBusinessFaxNumber, "fax-work"},
    {pid::kHomeFaxNumber, "fax-home"},
    {pid::kPrimaryFaxNumber, "fax"},
    {pid::kPrimaryTelephoneNumber, "main"},
    {pid::kCompanyMainTelephoneNumber, "company"},
    {pid::kAssistantTelephoneNumber, "assistant"},
    {pid::kCarTelephoneNumber, "car"},
    {pid::kPagerTelephoneNumber, "pager"},
    {pid::kRadioTelephoneNumber, "radio"},
    {pid::kCallbackTelephoneNumber, "callback"},
    {pid::kIsdnNumber, "isdn"},
    {pid::kTtyTddPhoneNumber, "tty"},
    {pid::kOtherTelephoneNumber, "other"},
};

std::string str(const PropertyBag& p, std::uint16_t id) {
    return p.text(id).value_or("");
}

bool empty(const ContactAddress& a) {
    return a.street.empty() && a.city.empty() && a.region.empty() && a.postalCode.empty() &&
           a.country.empty() && a.poBox.empty();
}

std::string pictureType(const PropertyBag& att) {
    if (auto mime = att.text(pid::kAttachMimeTag); mime && mime->starts_with("image/"))
        return *mime;
    std::string name =
        att.text(pid::kAttachLongFilename).value_or(att.text(pid::kAttachFilename).value_or(""));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.ends_with(".png")) return "image/png";
    if (name.ends_with(".gif")) return "image/gif";
    if (name.ends_with(".bmp")) return "image/bmp";
    return "image/jpeg";
}

}  // namespace

CivilDate contactDate(std::uint64_t filetime) {
    const CivilTime t =
        civilFromMinutes(static_cast<std::int64_t>(filetime / kTicksPerMinute) + 720);
    return {t.year, t.month, t.day};
}

ContactFields readContact(const ItemProperties& item) {
    const PropertyBag& p = item.own;
    ContactFields c;
    c.displayName = str(p, pid::kDisplayName);
    c.prefix = str(p, pid::kDisplayNamePrefix);
    c.givenName = str(p, pid::kGivenName);
    c.middleName = str(p, pid::kMiddleName);
    c.surname = str(p, pid::kSurname);
    c.suffix = str(p, pid::kGeneration);
    c.nickname = str(p, pid::kNickname);
    c.initials = str(p, pid::kInitials);
    c.fileAs = p.text(kPsetidAddress, lid::kFileUnder).value_or("");
    c.company = str(p, pid::kCompanyName);
    c.department = str(p, pid::kDepartmentName);
    c.title = str(p, pid::kTitle);
    c.office = str(p, pid::kOfficeLocation);
    c.manager = str(p, pid::kManagerName);
    c.assistant = str(p, pid::kAssistant);
    c.spouse = str(p, pid::kSpouseName);
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t step = k * lid::kEmailStride;
        ContactEmail e;
        e.address = p.text(kPsetidAddress, lid::kEmail1EmailAddress + step).value_or("");
        const std::string type =
            p.text(kPsetidAddress, lid::kEmail1AddressType + step).value_or("SMTP");
        // An Exchange address means nothing outside its organisation; the original display
        // name often holds the SMTP address then.
        if (type == "EX")
            if (auto original = p.text(kPsetidAddress, lid::kEmail1OriginalDisplayName + step);
                original && original->find('@') != std::string::npos)
                e.address = *original;
        if (e.address.empty()) continue;
        e.displayName = p.text(kPsetidAddress, lid::kEmail1DisplayName + step).value_or("");
        c.emails.push_back(std::move(e));
    }
    for (const auto& [id, type] : kPhones)
        if (auto number = p.text(id)) c.phones.push_back({type, *number});

    // PidLidPostalAddressId: 1 home, 2 work, 3 other is the mailing address.
    const std::int32_t mailing = p.int32(kPsetidAddress, lid::kPostalAddressId).value_or(0);
    ContactAddress work{"work",
                        p.text(kPsetidAddress, lid::kWorkAddressStreet).value_or(""),
                        p.text(kPsetidAddress, lid::kWorkAddressCity).value_or(""),
                        p.text(kPsetidAddress, lid::kWorkAddressState).value_or(""),
                        p.text(kPsetidAddress, lid::kWorkAddressPostalCode).value_or(""),
                        p.text(kPsetidAddress, lid::kWorkAddressCountry).value_or(""),
                        p.text(kPsetidAddress, lid::kWorkAddressPostOfficeBox).value_or(""),
                        mailing == 2};
    // Older files keep the business address only in the plain address properties.
    if (empty(work))
        work = {"work",
                str(p, pid::kStreetAddress),
                str(p, pid::kLocality),
                str(p, pid::kStateOrProvince),
                str(p, pid::kPostalCode),
                str(p, pid::kCountry),
                str(p, pid::kPostOfficeBox),
                mailing == 2 || mailing == 0};
    const ContactAddress home{"home",
                              str(p, pid::kHomeAddressStreet),
                              str(p, pid::kHomeAddressCity),
                              str(p, pid::kHomeAddressStateOrProvince),
                              str(p, pid::kHomeAddressPostalCode),
                              str(p, pid::kHomeAddressCountry),
                              str(p, pid::kHomeAddressPostOfficeBox),
                              mailing == 1};
    const ContactAddress other{"other",
                               str(p, pid::kOtherAddressStreet),
                               str(p, pid::kOtherAddressCity),
                               str(p, pid::kOtherAddressStateOrProvince),
                               str(p, pid::kOtherAddressPostalCode),
                               str(p, pid::kOtherAddressCountry),
                               str(p, pid::kOtherAddressPostOfficeBox),
                               mailing == 3};
    for (const ContactAddress& a : {work, home, other})
        if (!empty(a)) c.addresses.push_back(a);

    c.webPage = p.text(kPsetidAddress, lid::kHtmlPage).value_or(str(p, pid::kBusinessHomePage));
    c.homePage = str(p, pid::kPersonalHomePage);
    c.imAddress = p.text(kPsetidAddress, lid::kInstantMessagingAddress).value_or("");
    c.birthday = p.time(pid::kBirthday);
    c.anniversary = p.time(pid::kWeddingAnniversary);
    c.notes = itemPlainBody(p);
    c.categories = itemCategories(p);
    c.modified = p.time(pid::kLastModificationTime);
    for (const PropertyBag& att : item.attachments) {
        if (!att.boolean(pid::kAttachmentContactPhoto).value_or(false)) continue;
        if (const Bytes* data = att.binary(pid::kAttachDataObject); data && !data->empty()) {
            c.picture = *data;
            c.pictureType = pictureType(att);
            break;
        }
    }
    return c;
}

}  // namespace brevik
