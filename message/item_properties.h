// Every property of one item read from the file with its values, typed: what the contact,
// calendar, task and journal fields are taken from. Named properties are asked for by set and
// number through the base's NamedIds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/message_base.h"
#include "message/named_ids.h"
#include "message/property_value.h"

namespace brevik {

// One property list (an item's, a recipient's or an attachment's) with typed getters. A value of
// another type than asked for, or too short for it, reads as absent.
class PropertyBag {
  public:
    PropertyBag() = default;
    PropertyBag(PropertyRow row, std::uint32_t codepage, const NamedIds* names);

    const PropertyValue* find(std::uint16_t id) const;
    // Text of a string property (8-bit strings in the item's code page); absent when empty.
    std::optional<std::string> text(std::uint16_t id) const;
    std::optional<std::int32_t> int32(std::uint16_t id) const;
    std::optional<bool> boolean(std::uint16_t id) const;
    std::optional<double> real(std::uint16_t id) const;  // 0x0005 double, or a 32-bit float
    // FILETIME, UTC; absent for the "no date" value 4501-01-01 too.
    std::optional<std::uint64_t> time(std::uint16_t id) const;
    const Bytes* binary(std::uint16_t id) const;
    // The values of a multi-valued string or binary property, or of a single-valued one.
    std::vector<std::string> texts(std::uint16_t id) const;
    std::vector<Bytes> binaries(std::uint16_t id) const;

    // The same for a named property; absent when the file's map lacks the name.
    std::uint16_t named(const PropertySetGuid& set, std::uint32_t lid) const;
    std::optional<std::string> text(const PropertySetGuid& set, std::uint32_t lid) const {
        return text(named(set, lid));
    }
    std::optional<std::int32_t> int32(const PropertySetGuid& set, std::uint32_t lid) const {
        return int32(named(set, lid));
    }
    std::optional<bool> boolean(const PropertySetGuid& set, std::uint32_t lid) const {
        return boolean(named(set, lid));
    }
    std::optional<double> real(const PropertySetGuid& set, std::uint32_t lid) const {
        return real(named(set, lid));
    }
    std::optional<std::uint64_t> time(const PropertySetGuid& set, std::uint32_t lid) const {
        return time(named(set, lid));
    }
    const Bytes* binary(const PropertySetGuid& set, std::uint32_t lid) const {
        return binary(named(set, lid));
    }
    std::vector<std::string> texts(const PropertySetGuid& set, std::uint32_t lid) const {
        return texts(named(set, lid));
    }
    std::vector<Bytes> binaries(const PropertySetGuid& set, std::uint32_t lid) const {
        return binaries(named(set, lid));
    }
    const NamedIds* names() const { return names_; }
    std::uint32_t codepage() const { return codepage_; }

  private:
    PropertyRow row_;
    std::uint32_t codepage_ = 0;
    const NamedIds* names_ = nullptr;
};

struct ItemProperties {
    PropertyBag own;
    std::vector<PropertyBag> recipients;
    std::vector<PropertyBag> attachments;  // each attachment's own properties, data included
};

// Reads item `itemIndex` of `base` completely. Attachments are read only with `withAttachments`
// (their data may be large). Null when the item's own properties cannot be read.
std::optional<ItemProperties> readItemProperties(MessageBase& base, const NamedIds& names,
                                                 std::uint32_t itemIndex, bool withAttachments);

// Splits a multi-valued variable-size value ([MS-PST] count, offsets, data) into its values;
// values that do not fit are dropped.
std::vector<Bytes> splitMultiValue(const Bytes& data);

}  // namespace brevik
