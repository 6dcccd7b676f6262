#include "message/item_fields_common.h"

#include "message/property_tags.h"
#include "message/rtf_decompress.h"
#include "message/rtf_text.h"

namespace brevik {

std::string itemSubject(const PropertyBag& item) {
    std::string s = item.text(pid::kSubject).value_or(std::string());
    if (!s.empty() && static_cast<unsigned char>(s[0]) < 0x20) s.erase(0, s.size() >= 2 ? 2 : 1);
    return s;
}

namespace {

// Outlook ends most bodies with a line break or two that say nothing.
std::string withoutTrailingSpace(std::string s) {
    while (!s.empty() &&
           (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

}  // namespace

std::string itemPlainBody(const PropertyBag& item) {
    if (auto body = item.text(pid::kBody)) return withoutTrailingSpace(*body);
    if (const Bytes* rtf = item.binary(pid::kRtfCompressed); rtf && !rtf->empty()) {
        const RtfBody decoded = rtfToBody(decompressRtf(*rtf).rtf);
        if (!decoded.isHtml()) return withoutTrailingSpace(decoded.text);
    }
    return {};
}

std::vector<std::string> itemCategories(const PropertyBag& item) {
    if (!item.names()) return {};
    return item.texts(item.names()->id(kPsPublicStrings, kKeywordsName));
}

}  // namespace brevik
