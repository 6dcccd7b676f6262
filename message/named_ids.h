// The property ids a file's name-to-id map gives named properties: a set GUID with a number
// ([MS-OXPROPS] PidLid) or with a string name. Built once per base; lookups are by hash.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/message_base.h"
#include "message/property_tags.h"

namespace brevik {

class NamedIds {
  public:
    NamedIds() = default;
    explicit NamedIds(const MessageBase& base);

    // The id this file uses, or 0 when its map has no such name.
    std::uint16_t id(const PropertySetGuid& set, std::uint32_t lid) const;
    std::uint16_t id(const PropertySetGuid& set, std::string_view name) const;

  private:
    static std::string key(const PropertySetGuid& set, bool isString, std::string_view name,
                           std::uint32_t lid);
    std::unordered_map<std::string, std::uint16_t> ids_;
};

}  // namespace brevik
