// How one property value fills a slot of a record: text decoded to UTF-8, numbers and times
// read little-endian, bodies and raw bytes kept with the place they were read from.
#include "message/value_slots.h"

#include <algorithm>
#include <new>

#include "message/property_reader.h"
#include "message/text.h"

namespace brevik {
namespace {

// UTF-16 and UTF-32 cannot hold 8-bit strings; a value naming them is not a usable code page.
bool usableCodepage(std::uint32_t cp) {
    return cp != 0 && cp <= 65535 && cp != 1200 && cp != 1201 && cp != 12000 && cp != 12001;
}

constexpr std::uint32_t kUsAscii = 20127;

// A value's bytes: its own data, or read through its locator when a base is at hand.
class ValueBytes {
  public:
    ValueBytes(MessageBase* base, const PropertyValue& v) {
        if (v.data) {
            bytes_ = &*v.data;
        } else if (base) {
            loaded_ = loadValue(*base, v.locator, 0, false);
            bytes_ = &loaded_;
        }
    }
    bool available() const { return bytes_ != nullptr; }
    const Bytes& bytes() const { return *bytes_; }

  private:
    const Bytes* bytes_ = nullptr;
    Bytes loaded_;
};

std::string decodeText(const std::uint8_t* data, std::size_t size, std::uint16_t type,
                       std::uint32_t codepage) {
    if (type == ptype::kUnicode) return utf16ToUtf8(data, size);
    if (type == ptype::kString8) return codepageToUtf8(data, size, codepage);
    return std::string(data, data + size);
}

// storeStringValue, decoding the value as `type`.
int storeAs(MessageBase* base, StringSlot& slot, const PropertyValue& v, std::uint16_t type,
            std::uint32_t codepage) {
    slot.reset();
    try {
        const ValueBytes value(base, v);
        if (!value.available()) return 1;
        // A loaded value that came back empty could not be read.
        if (!v.data && value.bytes().empty()) return 1;
        slot = decodeText(value.bytes().data(), value.bytes().size(), type, codepage);
        return 1;
    } catch (const std::bad_alloc&) {
        slot.reset();
        return -1;
    }
}

TimeSlot valueTime(const PropertyValue& v) {
    if (!v.data) return std::nullopt;
    std::uint8_t le[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    std::copy_n(v.data->begin(), std::min<std::size_t>(8, v.data->size()), le);
    return load64(le);
}

// Marker characters are control characters; anything else starts the subject itself.
bool isControl(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

}  // namespace

std::uint32_t findCodepage(const PropertyList& rows, std::uint32_t first, std::uint32_t second) {
    for (const std::uint32_t id : {first, second}) {
        for (const PropertyRow& row : rows) {
            for (const PropertyValue& v : row) {
                if (v.id != id || !v.data || v.data->size() < 4) continue;
                const std::uint32_t cp = load32(v.data->data());
                if (usableCodepage(cp)) return cp == kUsAscii ? kDefaultCodepage : cp;
            }
        }
    }
    return 0;
}

int storeStringValue(MessageBase* base, StringSlot& slot, const PropertyValue& v,
                     std::uint32_t codepage) {
    return storeAs(base, slot, v, v.type, codepage);
}

std::optional<std::uint32_t> value32(const PropertyValue& v) {
    if (!v.data || v.data->empty()) return std::nullopt;
    std::uint8_t le[4] = {0, 0, 0, 0};
    std::copy_n(v.data->begin(), std::min<std::size_t>(4, v.data->size()), le);
    return load32(le);
}

void set32(std::uint32_t& out, const PropertyValue& v) {
    if (auto x = value32(v)) out = *x;
}
void set32(std::optional<std::uint32_t>& out, const PropertyValue& v) {
    if (auto x = value32(v)) out = *x;
}
void setTime(TimeSlot& out, const PropertyValue& v) {
    if (auto t = valueTime(v)) out = t;
}

void storeSubject(MessageBase* base, const PropertyValue& v, std::uint32_t codepage,
                  MessageEnvelope& env) {
    const ValueBytes value(base, v);
    if (!value.available() || value.bytes().empty()) return;
    const Bytes& b = value.bytes();
    SubjectRecord subject;
    std::size_t skip = 0;
    if (v.type == ptype::kUnicode) {
        if (b.size() >= 4 && isControl(load16(b.data()))) {
            subject.marker = b[0];
            subject.prefixLength = b[2];
            skip = 4;
        }
        subject.text = utf16ToUtf8(b.data() + skip, b.size() - skip);
    } else {
        // A first byte of 100 or more is taken as text, whatever it is.
        if (b.size() >= 2 && b[0] < 0x20) {
            subject.marker = b[0];
            subject.prefixLength = b[1];
            skip = 2;
        }
        subject.text = decodeText(b.data() + skip, b.size() - skip, v.type, codepage);
    }
    env.subject = std::move(subject);
}

void storeBody(MessageBase* base, StringSlot& slot, ValueLocator& locator, const PropertyValue& v,
               std::uint32_t codepage) {
    // The HTML body is usually binary in the item's code page; it reaches views as UTF-8 text.
    storeAs(base, slot, v, v.type == ptype::kBinary ? ptype::kString8 : v.type, codepage);
    if (slot && slot->empty()) {
        slot.reset();
        return;
    }
    locator = v.locator;
}

void storeRaw(MessageBase* base, std::optional<Bytes>& out, const PropertyValue& v) {
    if (v.data)
        out = *v.data;
    else if (base)
        out = loadValue(*base, v.locator, 0, false);
}

}  // namespace brevik
