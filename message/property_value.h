// One decoded property of a node, with the place in the file it can be read again from.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/bytes.h"
#include "message/property_tags.h"

namespace brevik {

// Where a value lies. For a heap value: the file position of its bytes, with `length` > 0.
// For a value kept in a subnode: the `blockTable` index of the subnode's data (-1 when not
// found), with `length` 0. For an inline value: the value itself.
struct ValueLocator {
    std::int64_t position = 0;
    std::uint32_t length = 0;
    std::uint16_t type = 0;
};

struct PropertyValue {
    std::uint32_t id = 0;       // 16-bit property identifier
    std::uint16_t type = 0;     // [MS-OXCDATA] property type
    std::optional<Bytes> data;  // empty optional: left in a subnode, read later through `locator`
    ValueLocator locator;

    std::uint32_t size() const { return data ? static_cast<std::uint32_t>(data->size()) : 0; }
    bool present() const { return id != 0 || type != 0; }
};

using PropertyRow = std::vector<PropertyValue>;
using PropertyList = std::vector<PropertyRow>;

}  // namespace brevik
