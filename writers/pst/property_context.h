// A property context ([MS-PST] PC): a BTH of property records in a heap-on-node.
#pragma once

#include <vector>

#include "writers/pst/store_model.h"
#include "writers/pst/subnode_sink.h"

namespace brevik::pst {

// Property types kept in the record itself, and the cell width of a type in a table.
bool isInlineType(std::uint16_t type);
std::uint8_t tableCellSize(std::uint16_t type);

// The node data of a PC holding `props` (the first of equal ids wins). Values over 3580 bytes
// go to subnodes added to `subnodes`.
std::vector<Bytes> buildPropertyContext(const PropertyList& props, SubnodeSink& subnodes);

}  // namespace brevik::pst
