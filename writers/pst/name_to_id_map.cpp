#include "writers/pst/name_to_id_map.h"

#include <algorithm>

#include "engine/crc.h"
#include "message/property_tags.h"

namespace brevik::pst {
namespace {

constexpr std::uint32_t kBucketCount = 251;
constexpr std::size_t kMaxEntries = 0x7FFF;
constexpr std::uint16_t kMaxGuidIndex = 0x7FFF;  // 15 bits beside the string flag

}  // namespace

std::string NameToIdMapBuilder::keyOf(const NamedProperty& name) {
    std::string key(name.guid.begin(), name.guid.end());
    if (name.isString)
        key += "s" + name.name;
    else
        key += "n" + std::to_string(name.numericId);
    return key;
}

std::uint16_t NameToIdMapBuilder::guidIndex(const std::array<std::uint8_t, 16>& guid) {
    // PS_MAPI and PS_PUBLIC_STRINGS have fixed indexes 1 and 2; others follow from 3.
    if (guid == kPsMapi) return 1;
    if (guid == kPsPublicStrings) return 2;
    const auto it = std::find(guids_.begin(), guids_.end(), guid);
    if (it != guids_.end()) return static_cast<std::uint16_t>(3 + (it - guids_.begin()));
    if (3 + guids_.size() > kMaxGuidIndex) return 0;
    guids_.push_back(guid);
    return static_cast<std::uint16_t>(2 + guids_.size());
}

std::optional<std::uint16_t> NameToIdMapBuilder::idFor(const NamedProperty& name) {
    const std::string key = keyOf(name);
    if (const auto it = byKey_.find(key); it != byKey_.end()) return it->second;
    if (entries_.size() >= kMaxEntries) return std::nullopt;
    // An empty name has no characters to point at: readers check that its offset leaves room
    // for at least one, so the last such entry would make them refuse the whole map.
    if (name.isString && name.name.empty()) return std::nullopt;
    Entry e{};
    const std::uint16_t g = guidIndex(name.guid);
    if (g == 0) return std::nullopt;
    e.guidWord = static_cast<std::uint16_t>((g << 1) | (name.isString ? 1 : 0));
    if (name.isString) {
        const Bytes text = utf8ToUtf16le(name.name);
        e.propertyId = static_cast<std::uint32_t>(strings_.size());
        e.hashKey = crc32(text.data(), text.size());
        std::uint8_t len[4];
        store32(len, static_cast<std::uint32_t>(text.size()));
        strings_.insert(strings_.end(), len, len + 4);
        strings_.insert(strings_.end(), text.begin(), text.end());
        strings_.resize((strings_.size() + 3) & ~std::size_t{3}, 0);
    } else {
        e.propertyId = name.numericId;
        e.hashKey = name.numericId;
    }
    const auto id = static_cast<std::uint16_t>(kFirstNamedPropertyId + entries_.size());
    entries_.push_back(e);
    byKey_.emplace(key, id);
    return id;
}

PropertyList NameToIdMapBuilder::properties() const {
    PropertyList props;
    props.push_back(int32Property(pid::kNameidBucketCount, kBucketCount));
    Bytes guidStream;
    for (const auto& g : guids_)
        guidStream.insert(guidStream.end(), g.begin(), g.end());
    props.push_back(binaryProperty(pid::kNameidStreamGuid, std::move(guidStream)));

    auto record = [](Bytes& out, std::uint32_t id, std::uint16_t word, std::uint16_t index) {
        std::uint8_t r[8];
        store32(r, id);
        store16(r + 4, word);
        store16(r + 6, index);
        out.insert(out.end(), r, r + 8);
    };
    Bytes entryStream;
    std::vector<Bytes> buckets(kBucketCount);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        const auto index = static_cast<std::uint16_t>(i);
        record(entryStream, e.propertyId, e.guidWord, index);
        record(buckets[(e.hashKey ^ e.guidWord) % kBucketCount], e.hashKey, e.guidWord, index);
    }
    props.push_back(binaryProperty(pid::kNameidStreamEntry, std::move(entryStream)));
    props.push_back(binaryProperty(pid::kNameidStreamString, strings_));
    for (std::uint32_t b = 0; b < kBucketCount; ++b)
        props.push_back(binaryProperty(static_cast<std::uint16_t>(pid::kNameidBucketBase + b),
                                       std::move(buckets[b])));
    return props;
}

}  // namespace brevik::pst
