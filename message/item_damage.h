// What of a readable item is damaged: every block it reads is checked, and a failing block
// costs the part it belongs to (its body, one attachment, its recipients), never the item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/message_base.h"

namespace brevik {

// A part of an item whose blocks failed their checks.
struct DamagedPart {
    std::string name;  // "properties", "body", "recipients", "attachments", "attachment 2 (a.pdf)"
    std::vector<std::uint64_t> blockOffsets;  // file offsets of its failing blocks, ascending
};

struct DamagedItem {
    std::uint32_t item = 0;  // index into messageEntries
    std::vector<DamagedPart> parts;
};

// Checks the blocks of item `itemIndex`, whose subnode list is read (`subnodes`): its own data,
// its subnode list, and each subnode's data with the blocks below data trees. Empty when all
// hold. Only when one fails is the item read, to name the part.
std::vector<DamagedPart> inspectItem(MessageBase& base, std::uint32_t itemIndex);

// The damage recorded for `item` in `damaged` (sorted by item); null when it is whole.
const DamagedItem* findDamage(const std::vector<DamagedItem>& damaged, std::uint32_t item);

// The part names, comma-separated ("body, attachment 2 (a.pdf)").
std::string partNames(const std::vector<DamagedPart>& parts);

}  // namespace brevik
