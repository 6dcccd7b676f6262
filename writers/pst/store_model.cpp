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
