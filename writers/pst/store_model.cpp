#include "writers/pst/store_model.h"

namespace brevik::pst {

std::size_t fixedTypeWidth(std::uint16_t type) {
    switch (type) {
        case ptypes::kInt16:
            return 2;
        case ptypes::kBoolean:
            return 1;
        case ptypes::kInt32:
        case ptypes::kFloat:
        case ptypes::kError:
            return 4;
        case ptypes::kDouble:
        case ptypes::kCurrency:
        case ptypes::kAppTime:
        case ptypes::kInt64:
        case ptypes::kTime:
            return 8;
        default:
            return 0;
    }
}

namespace {

// Element width of a multi-valued fixed type; 0 for the others.
std::size_t multiElementWidth(std::uint16_t type) {
    if ((type & ptypes::kMultiValued) == 0) return 0;
    const auto single = static_cast<std::uint16_t>(type & ~ptypes::kMultiValued);
    if (single == ptypes::kBoolean || single == ptypes::kError) return 0;  // no multi form
    if (single == ptypes::kGuid) return 16;
    return fixedTypeWidth(single);
}

// A count, that many offsets, then the values, each offset within the data and none before
// the one it follows.
bool isMultiVariableLayout(ByteView value, bool utf16) {
    if (value.empty()) return true;
    if (value.size() < 4) return false;
    const std::uint64_t count = load32(value.data());
    const std::uint64_t dataStart = 4 + 4 * count;
    if (dataStart > value.size()) return false;
    std::uint64_t previous = dataStart;
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint64_t at = load32(value.data() + 4 + 4 * k);
        if (at < previous || at > value.size()) return false;
        if (utf16 && k > 0 && (at - previous) % 2 != 0) return false;
        previous = at;
    }
    return !utf16 || (value.size() - previous) % 2 == 0;
}

}  // namespace

bool isWritableValue(std::uint16_t type, ByteView value) {
    if (const std::size_t width = fixedTypeWidth(type)) return value.size() == width;
    if (const std::size_t width = multiElementWidth(type)) return value.size() % width == 0;
    switch (type) {
        case ptypes::kGuid:
            return value.size() == 16;
        case ptypes::kString8:
        case ptypes::kBinary:
            return true;
        case ptypes::kUnicode:
            return value.size() % 2 == 0;
        case ptypes::kMultiString8:
        case ptypes::kMultiBinary:
            return isMultiVariableLayout(value, false);
        case ptypes::kMultiUnicode:
            return isMultiVariableLayout(value, true);
        default:  // objects only as the writer makes them; unknown codes never
            return false;
    }
}

Bytes utf8ToUtf16le(std::string_view text) {
    Bytes out;
    out.reserve(text.size() * 2);
    auto put = [&out](std::uint32_t unit) {
        out.push_back(static_cast<std::uint8_t>(unit));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        std::uint32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            len = 2, cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            len = 3, cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            len = 4, cp = lead & 0x07;
        }
        bool valid = len == 1 ? lead < 0x80 : i + len <= text.size();
        for (std::size_t k = 1; valid && k < len; ++k) {
            const auto c = static_cast<std::uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            cp = 0xFFFD;
            len = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
        i += len;
    }
    return out;
}

Property unicodeProperty(std::uint16_t id, std::string_view utf8) {
    return {id, ptypes::kUnicode, utf8ToUtf16le(utf8)};
}

Property int32Property(std::uint16_t id, std::uint32_t value) {
    Bytes b(4);
    store32(b.data(), value);
    return {id, ptypes::kInt32, std::move(b)};
}

Property boolProperty(std::uint16_t id, bool value) {
    return {id, ptypes::kBoolean, Bytes{static_cast<std::uint8_t>(value ? 1 : 0)}};
}

Property timeProperty(std::uint16_t id, std::uint64_t fileTime) {
    Bytes b(8);
    store64(b.data(), fileTime);
    return {id, ptypes::kTime, std::move(b)};
}

Property binaryProperty(std::uint16_t id, Bytes value) {
    return {id, ptypes::kBinary, std::move(value)};
}

const Property* findProperty(const PropertyList& list, std::uint16_t id) {
    for (const auto& p : list)
        if (p.id == id) return &p;
    return nullptr;
}

}  // namespace brevik::pst
