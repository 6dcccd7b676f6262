// How one property value fills a slot of a record; shared by the interpretation of property
// lists. Values left in subnodes are read through `base`; with a null base they are skipped.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/message_base.h"
#include "message/interpret_properties.h"
#include "message/property_value.h"
#include "message/records.h"

namespace brevik {

// The first usable code page named by property `first`, else by `second`, in any row.
std::uint32_t findCodepage(const PropertyList& rows, std::uint32_t first, std::uint32_t second);

// The first 32 bits of an inline or heap value, zero-extended when shorter.
std::optional<std::uint32_t> value32(const PropertyValue& v);
// Each sets `out` when the value has data.
void set32(std::uint32_t& out, const PropertyValue& v);
void set32(std::optional<std::uint32_t>& out, const PropertyValue& v);
void setTime(TimeSlot& out, const PropertyValue& v);

// PidTagSubject: an optional control-character marker and prefix length precede the text.
void storeSubject(MessageBase* base, const PropertyValue& v, std::uint32_t codepage,
                  MessageEnvelope& env);
// A body (plain or HTML): an empty text is not kept; otherwise its locator is kept so that the
// body can be read again.
void storeBody(MessageBase* base, StringSlot& slot, ValueLocator& locator, const PropertyValue& v,
               std::uint32_t codepage);
// The value's bytes as they are.
void storeRaw(MessageBase* base, std::optional<Bytes>& out, const PropertyValue& v);

}  // namespace brevik
