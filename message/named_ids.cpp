#include "message/named_ids.h"

namespace brevik {

NamedIds::NamedIds(const MessageBase& base) {
    ids_.reserve(base.namedProps.size());
    for (const NamedPropertyEntry& e : base.namedProps) {
        // The GUID index: 1 and 2 are the two sets every map has, then the map's GUID stream.
        const std::uint32_t index = (e.guidWord & 0xFFFF) >> 1;
        const PropertySetGuid* set = nullptr;
        if (index == 1)
            set = &kPsMapi;
        else if (index == 2)
            set = &kPsPublicStrings;
        else if (index >= 3 && index - 3 < base.namedPropGuids.size())
            set = &base.namedPropGuids[index - 3];
        if (!set || e.propertyId < kFirstNamedPropertyId || e.propertyId > 0xFFFF) continue;
        const bool isString = (e.guidWord & 1) != 0;
        // The first entry for a name wins; a damaged map may repeat one.
        ids_.emplace(key(*set, isString, e.name, e.numericId),
                     static_cast<std::uint16_t>(e.propertyId));
    }
}

std::string NamedIds::key(const PropertySetGuid& set, bool isString, std::string_view name,
                          std::uint32_t lid) {
    std::string k(set.begin(), set.end());
    if (isString) {
        k += 's';
        k += name;
    } else {
        k += 'n';
        for (int i = 0; i < 4; ++i)
            k += static_cast<char>(lid >> (8 * i));
    }
    return k;
}

std::uint16_t NamedIds::id(const PropertySetGuid& set, std::uint32_t lid) const {
    const auto it = ids_.find(key(set, false, {}, lid));
    return it == ids_.end() ? 0 : it->second;
}

std::uint16_t NamedIds::id(const PropertySetGuid& set, std::string_view name) const {
    const auto it = ids_.find(key(set, true, name, 0));
    return it == ids_.end() ? 0 : it->second;
}

}  // namespace brevik
