// The members of a personal distribution list ([MS-OXOCNTC] 2.2.2): one-off addresses and
// entries that point at contacts or at other lists of the same file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/bytes.h"
#include "message/item_properties.h"

namespace brevik {

struct DistListMember {
    std::string name;
    std::string address;
    std::string addressType;  // "SMTP", "EX", ...
    // The contact or list the member points at: its node id in this file.
    std::optional<std::uint32_t> nodeId;
    bool isList = false;  // the member is a distribution list itself
};

struct DistListFields {
    std::string name;
    std::vector<DistListMember> members;
    std::string notes;
    std::vector<std::string> categories;
};

DistListFields readDistList(const ItemProperties& item);

// A one-off entry id ([MS-OXCDATA] 2.2.5.1): name, address type and address in the id itself.
// Null when `id` is not one or its strings do not fit.
std::optional<DistListMember> parseOneOffEntryId(ByteView id);

}  // namespace brevik
