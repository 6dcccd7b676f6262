// What the .pst writer is given: folders, items, recipients and attachments as property lists,
// independent of how they were read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bytes.h"
#include "message/property_value.h"

namespace brevik::pst {

// One property. `value` is in its on-disk form: fixed types little-endian, 0x001F UTF-16LE
// without terminator, 0x001E 8-bit text, binary raw, multi-valued types in the [MS-PST]
// multi-value layout. Ids of 0x8000 and above name an entry of the caller's named-property
// table (0x8000 + index) and are remapped to the written file's own map.
struct Property {
    std::uint16_t id = 0;
    std::uint16_t type = 0;
    Bytes value;
};

using PropertyList = std::vector<Property>;

// One named property ([MS-OXCDATA] PropertyName): a GUID with a number or a string.
struct NamedProperty {
    std::array<std::uint8_t, 16> guid{};
    bool isString = false;
    std::uint32_t numericId = 0;
    std::string name;  // UTF-8, string names only
};

struct Item;

struct Recipient {
    PropertyList properties;
};

struct Attachment {
    PropertyList properties;  // without 0x3701: the data or the embedded item goes below
    Bytes data;               // written as PidTagAttachDataBinary when there is no embedded item
    std::shared_ptr<const Item> embedded;  // attach method 5
};

struct Item {
    PropertyList properties;
    std::vector<Recipient> recipients;
    std::vector<Attachment> attachments;
};

struct Folder {
    std::string displayName;     // UTF-8
    std::string containerClass;  // e.g. "IPF.Note"; empty for none
    PropertyList properties;     // anything else the folder had
    std::vector<Folder> children;
};

// Property types, as the reader names them.
namespace ptypes = ::brevik::ptype;

// Bytes of a fixed-size type's value (1, 2, 4 or 8); 0 for variable-size types.
std::size_t fixedTypeWidth(std::uint16_t type);

// True when `type` is a property type other readers know and `value` has a size and layout
// that type allows. The writer drops (and counts) everything else: a value it cannot describe
// makes other readers refuse the whole item.
bool isWritableValue(std::uint16_t type, ByteView value);

// Builders of common values.
Bytes utf8ToUtf16le(std::string_view text);
Property unicodeProperty(std::uint16_t id, std::string_view utf8);
Property int32Property(std::uint16_t id, std::uint32_t value);
Property boolProperty(std::uint16_t id, bool value);
Property timeProperty(std::uint16_t id, std::uint64_t fileTime);
Property binaryProperty(std::uint16_t id, Bytes value);
// The value of `id` in `list`, or null.
const Property* findProperty(const PropertyList& list, std::uint16_t id);

}  // namespace brevik::pst
