#include "recovery/name_to_id_map.h"

#include <algorithm>

#include "engine/index_tables.h"
#include "engine/permute.h"
#include "message/node_data.h"
#include "message/property_reader.h"
#include "message/property_tags.h"
#include "message/text.h"

namespace brevik {
namespace {

// The bytes of a stream property, wherever the reader left them.
Bytes streamBytes(MessageBase& base, const PropertyValue& v) {
    if (v.data) return *v.data;
    if (v.locator.length == 0) return loadValue(base, v.locator, 0, false);
    if (v.locator.position <= 0) return {};
    Bytes b =
        readAtPosition(base, static_cast<std::uint64_t>(v.locator.position), v.locator.length);
    return b;
}

}  // namespace

std::vector<NamedPropertyEntry> parseNamedProperties(ByteView entries, ByteView strings) {
    std::vector<NamedPropertyEntry> out(entries.size() / 8);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint8_t* r = entries.data() + i * 8;
        NamedPropertyEntry& e = out[i];
        const std::uint32_t idOrOffset = load32(r);
        e.guidWord = load16(r + 4);
        e.propertyId = kFirstNamedPropertyId + load16(r + 6);
        if ((e.guidWord & 1) == 0) {
            e.numericId = idOrOffset;
            continue;
        }
        // A string name: a 32-bit byte length and UTF-16LE text at that offset of the stream.
        const std::uint64_t o = idOrOffset;
        if (o + 4 >= strings.size()) continue;
        const std::uint64_t length = load32(strings.data() + o);
        if (o + 4 + length > strings.size()) continue;
        e.name = utf16ToUtf8(strings.data() + o + 4, static_cast<std::size_t>(length));
    }
    return out;
}

std::vector<std::array<std::uint8_t, 16>> parseGuidStream(ByteView guids) {
    std::vector<std::array<std::uint8_t, 16>> out(guids.size() / 16);
    for (std::size_t i = 0; i < out.size(); ++i)
        std::copy_n(guids.data() + i * 16, 16, out[i].begin());
    return out;
}

void readNameToIdMap(MessageBase& base, BlockIndex dataIndex, BlockIndex subnodeIndex) {
    base.namedProps.clear();
    base.namedPropGuids.clear();
    // Index 0 is a real block; only -1 means absent.
    if (dataIndex < 0) return;
    std::vector<SubnodeEntry> subnodes;
    if (subnodeIndex >= 0) readSubnodeList(base, subnodes, subnodeIndex, 0, 0);
    PropertyList rows;
    if (readPropertyList(base, rows, dataIndex, subnodes, false) == -1 || rows.empty()) return;
    Bytes entries, strings, guids;
    for (const PropertyValue& v : rows.front()) {
        if (v.id == pid::kNameidStreamEntry && entries.empty()) entries = streamBytes(base, v);
        if (v.id == pid::kNameidStreamString && strings.empty()) strings = streamBytes(base, v);
        if (v.id == pid::kNameidStreamGuid && guids.empty()) guids = streamBytes(base, v);
    }
    base.namedProps = parseNamedProperties(entries, strings);
    base.namedPropGuids = parseGuidStream(guids);
}

}  // namespace brevik
