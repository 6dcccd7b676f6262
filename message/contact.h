// The fields of a contact ([MS-OXOCNTC]): names, e-mail addresses, phones and postal addresses
// by type, work, dates, notes and picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "message/item_properties.h"

namespace brevik {

struct ContactEmail {
    std::string address;
    std::string displayName;
};

struct ContactPhone {
    std::string type;  // "work", "home", "cell", "fax-work", "fax-home", "pager", "car", ...
    std::string number;
};

struct ContactAddress {
    std::string type;  // "work", "home" or "other"
    std::string street;
    std::string city;
    std::string region;
    std::string postalCode;
    std::string country;
    std::string poBox;
    bool mailing = false;  // the one the contact gets mail at
};

struct ContactFields {
    std::string displayName;
    std::string prefix;
    std::string givenName;
    std::string middleName;
    std::string surname;
    std::string suffix;
    std::string nickname;
    std::string initials;
    std::string fileAs;
    std::string company;
    std::string department;
    std::string title;
    std::string office;
    std::string manager;
    std::string assistant;
    std::string spouse;
    std::vector<ContactEmail> emails;  // up to three, in their order
    std::vector<ContactPhone> phones;
    std::vector<ContactAddress> addresses;
    std::string webPage;
    std::string homePage;
    std::string imAddress;
    std::optional<std::uint64_t> birthday;  // FILETIME
    std::optional<std::uint64_t> anniversary;
    std::string notes;
    std::vector<std::string> categories;
    Bytes picture;
    std::string pictureType;  // MIME type, e.g. "image/jpeg"
    std::optional<std::uint64_t> modified;
};

// `item` read with its attachments, for the picture.
ContactFields readContact(const ItemProperties& item);

// The day a stored birthday or anniversary means: Outlook stores local midnight as UTC, so the
// nearest midnight of the UTC time is taken.
struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};
CivilDate contactDate(std::uint64_t filetime);

}  // namespace brevik
