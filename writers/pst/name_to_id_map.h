// The written file's own name-to-id map ([MS-PST] node 0x61): named properties get ids from
// 0x8000 in the order first seen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "writers/pst/store_model.h"

namespace brevik::pst {

class NameToIdMapBuilder {
  public:
    // The property id of `name`, added when new; empty when the map is full or the name cannot
    // be written (a string name without characters).
    std::optional<std::uint16_t> idFor(const NamedProperty& name);
    std::size_t size() const { return entries_.size(); }
    // The properties of the map's PC: bucket count, GUID, entry and string streams, buckets.
    PropertyList properties() const;

  private:
    static std::string keyOf(const NamedProperty& name);
    // 0 when no index is left for a new GUID.
    std::uint16_t guidIndex(const std::array<std::uint8_t, 16>& guid);

    struct Entry {
        std::uint32_t propertyId;  // numeric id, or offset of the name in the string stream
        std::uint32_t hashKey;     // numeric id, or CRC of the UTF-16LE name
        std::uint16_t guidWord;    // guid index << 1 | string flag
    };
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::uint16_t> byKey_;
    std::vector<std::array<std::uint8_t, 16>> guids_;
    Bytes strings_;
};

}  // namespace brevik::pst
