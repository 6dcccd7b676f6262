// Reads a node's data into property lists: heap-on-node, BTH, property and table contexts.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index_entries.h"
#include "engine/message_base.h"
#include "message/property_value.h"

namespace brevik {

// What a read keeps. `Records` is what the records and the recovery pass use: inline values of
// types 0x0002, 0x0003 and 0x000B, heap and subnode values of the variable and 8-byte types,
// table cells of 1, 2 or 4 bytes. `Complete` also keeps every other type and 8-byte table cells,
// so that writers can copy an item without losing a property.
enum class ReadMode : std::uint8_t { Records, Complete };

// Which property ids a read keeps; every id when null.
using PropertyFilter = bool (*)(std::uint16_t id);

// Reads the property context (one row) or table context (one row per table row) of the node
// whose data block is `dataIndex`. Values kept in subnodes are read at once when
// `loadSubnodeValues` is set, else left with an empty `data` for `loadValue`.
// Properties `keep` rejects are left out before their values are copied or read.
// Returns -1 on failure (rows left empty), otherwise a value of at least 0.
int readPropertyList(MessageBase& base, PropertyList& rows, BlockIndex dataIndex,
                     const std::vector<SubnodeEntry>& subnodes, bool loadSubnodeValues,
                     ReadMode mode = ReadMode::Records, PropertyFilter keep = nullptr);

// The row id (0x67F2) of each row of the table context whose data block is `dataIndex`, in row
// order, as `readPropertyList` would find them: 0 for a row whose first stored row-id cell is
// not 4 bytes or that has none. The row matrix is read a block at a time, so a table of many
// rows costs no memory of its size. Returns -1 on failure (`ids` left empty).
int readTableRowIds(MessageBase& base, BlockIndex dataIndex,
                    const std::vector<SubnodeEntry>& subnodes, std::vector<std::uint32_t>& ids);

// The bytes of a subnode's data (one block or a data tree), decoded. Empty for -1 or failure.
Bytes readSubnodeData(MessageBase& base, BlockIndex blockIndex);
// readSubnodeData of the first subnode whose node id is `nid`; empty when none matches.
Bytes readSubnodeByNid(MessageBase& base, std::uint32_t nid,
                       const std::vector<SubnodeEntry>& subnodes);

// Reads a value again through its locator: `padBytes` zero bytes are appended; with
// `convertUnicode` a type 0x001F value becomes UTF-8 (zero-terminated). Empty on failure.
Bytes loadValue(MessageBase& base, const ValueLocator& locator, std::uint32_t padBytes,
                bool convertUnicode);

}  // namespace brevik
