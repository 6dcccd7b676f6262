#include "writers/files/item_fields.h"

#include "message/interpret_properties.h"
#include "message/text.h"

namespace brevik::files {
namespace {

// UTF-16 and UTF-32 cannot hold 8-bit strings; US-ASCII is widened to Windows-1252.
std::uint32_t usable(std::uint32_t cp) {
    if (cp == 0 || cp > 65535 || cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001) return 0;
    return cp == 20127 ? kDefaultCodepage : cp;
}

std::uint32_t codepageOf(const pst::PropertyList& list, std::uint16_t first, std::uint16_t second) {
    for (const std::uint16_t id : {first, second})
        if (const pst::Property* p = pst::findProperty(list, id);
            p && p->type == ptype::kInt32 && p->value.size() >= 4)
            if (const std::uint32_t cp = usable(load32(p->value.data()))) return cp;
    return 0;
}

}  // namespace

std::string decodeString(const pst::Property& p, std::uint32_t codepage) {
    if (p.type == ptype::kUnicode) return utf16ToUtf8(p.value.data(), p.value.size());
    return codepageToUtf8(p.value.data(), p.value.size(), codepage ? codepage : kDefaultCodepage);
}

ItemFields::ItemFields(const pst::PropertyList& properties, std::uint32_t fallbackCodepage)
    : properties_(properties) {
    codepage_ = codepageOf(properties, pid::kMessageCodepage, pid::kInternetCodepage);
    if (!codepage_) codepage_ = fallbackCodepage ? fallbackCodepage : kDefaultCodepage;
    htmlCodepage_ = codepageOf(properties, pid::kInternetCodepage, pid::kMessageCodepage);
    if (!htmlCodepage_) htmlCodepage_ = codepage_;
}

std::optional<std::string> ItemFields::text(std::uint16_t id) const {
    const pst::Property* p = pst::findProperty(properties_, id);
    if (!p || (p->type != ptype::kUnicode && p->type != ptype::kString8)) return std::nullopt;
    return decodeString(*p, codepage_);
}

std::optional<std::string> ItemFields::nonEmpty(std::uint16_t id) const {
    auto t = text(id);
    if (t && t->empty()) t.reset();
    return t;
}

std::optional<std::uint32_t> ItemFields::int32(std::uint16_t id) const {
    const pst::Property* p = pst::findProperty(properties_, id);
    if (!p || p->type != ptype::kInt32 || p->value.size() < 4) return std::nullopt;
    return load32(p->value.data());
}

std::optional<std::uint64_t> ItemFields::time(std::uint16_t id) const {
    const pst::Property* p = pst::findProperty(properties_, id);
    if (!p || p->type != ptype::kTime || p->value.size() < 8) return std::nullopt;
    return load64(p->value.data());
}

const Bytes* ItemFields::binary(std::uint16_t id) const {
    const pst::Property* p = pst::findProperty(properties_, id);
    return p && p->type == ptype::kBinary ? &p->value : nullptr;
}

std::string ItemFields::subject() const {
    std::string s = text(pid::kSubject).value_or(std::string());
    // A control character first marks a normalised subject: it and the length after it go.
    if (!s.empty() && static_cast<unsigned char>(s[0]) < 0x20) s.erase(0, s.size() >= 2 ? 2 : 1);
    return s;
}

std::optional<std::string> ItemFields::html() const {
    const pst::Property* p = pst::findProperty(properties_, pid::kHtml);
    if (!p) return std::nullopt;
    if (p->type == ptype::kBinary)
        return codepageToUtf8(p->value.data(), p->value.size(), htmlCodepage_);
    return decodeString(*p, htmlCodepage_);
}

}  // namespace brevik::files
