// The name-to-id map: which named property (GUID plus number or name) each id from 0x8000 on
// stands for.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/message_base.h"

namespace brevik {

// Decodes the entry stream (8-byte [MS-PST] NAMEID records) with the string stream.
std::vector<NamedPropertyEntry> parseNamedProperties(ByteView entryStream, ByteView stringStream);
// Splits the GUID stream into its 16-byte GUIDs.
std::vector<std::array<std::uint8_t, 16>> parseGuidStream(ByteView guidStream);

// Reads the map node (its data block and subnode block as `blockTable` indexes) into
// `base.namedProps` and `base.namedPropGuids`. A map that cannot be read leaves both empty.
void readNameToIdMap(MessageBase& base, BlockIndex dataIndex, BlockIndex subnodeIndex);

}  // namespace brevik
