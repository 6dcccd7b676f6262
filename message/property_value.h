// One decoded property of a node, with the place in the file it can be read again from.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/bytes.h"

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

// Property types used across the message layer.
namespace ptype {
inline constexpr std::uint16_t kInt16 = 0x0002;
inline constexpr std::uint16_t kInt32 = 0x0003;
inline constexpr std::uint16_t kFloat = 0x0004;
inline constexpr std::uint16_t kDouble = 0x0005;
inline constexpr std::uint16_t kCurrency = 0x0006;
inline constexpr std::uint16_t kAppTime = 0x0007;
inline constexpr std::uint16_t kError = 0x000A;
inline constexpr std::uint16_t kBoolean = 0x000B;
inline constexpr std::uint16_t kObject = 0x000D;
inline constexpr std::uint16_t kInt64 = 0x0014;
inline constexpr std::uint16_t kString8 = 0x001E;
inline constexpr std::uint16_t kUnicode = 0x001F;
inline constexpr std::uint16_t kTime = 0x0040;
inline constexpr std::uint16_t kGuid = 0x0048;
inline constexpr std::uint16_t kBinary = 0x0102;
inline constexpr std::uint16_t kMultiInt32 = 0x1003;
inline constexpr std::uint16_t kMultiInt64 = 0x1014;
inline constexpr std::uint16_t kMultiString8 = 0x101E;
inline constexpr std::uint16_t kMultiUnicode = 0x101F;
inline constexpr std::uint16_t kMultiBinary = 0x1102;
}  // namespace ptype

}  // namespace brevik
