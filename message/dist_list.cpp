#include "message/dist_list.h"

#include <algorithm>
#include <array>

#include "message/item_fields_common.h"
#include "message/property_tags.h"
#include "message/text.h"

namespace brevik {
namespace {

constexpr std::array<std::uint8_t, 16> kOneOffProvider = {
    0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr std::array<std::uint8_t, 16> kWrappedProvider = {
    0xC0, 0x91, 0xAD, 0xD3, 0x51, 0x9D, 0xCF, 0x11, 0xA4, 0xA9, 0x00, 0xAA, 0x00, 0x47, 0xFA, 0xA4};
constexpr std::uint16_t kOneOffUnicode = 0x8000;
constexpr std::size_t kIdHeader = 20;  // flags and provider
constexpr std::uint8_t kWrappedContact = 3;
constexpr std::uint8_t kWrappedList = 4;
constexpr std::size_t kMessageEntryIdSize = 24;  // flags, store uid, node id

bool hasProvider(ByteView id, const std::array<std::uint8_t, 16>& provider) {
    return id.size() >= kIdHeader && std::equal(provider.begin(), provider.end(), id.begin() + 4);
}

// A zero-terminated string at `at`, moved past; false when no terminator is within the id.
bool takeString(ByteView id, std::size_t& at, bool wide, std::string& out) {
    if (wide) {
        for (std::size_t i = at; i + 1 < id.size(); i += 2)
            if (id[i] == 0 && id[i + 1] == 0) {
                out = utf16ToUtf8(id.data() + at, i - at);
                at = i + 2;
                return true;
            }
        return false;
    }
    for (std::size_t i = at; i < id.size(); ++i)
        if (id[i] == 0) {
            out = codepageToUtf8(id.data() + at, i - at, 1252);
            at = i + 1;
            return true;
        }
    return false;
}

}  // namespace

std::optional<DistListMember> parseOneOffEntryId(ByteView id) {
    if (!hasProvider(id, kOneOffProvider) || id.size() < kIdHeader + 4) return std::nullopt;
    const bool wide = (load16(id.data() + kIdHeader + 2) & kOneOffUnicode) != 0;
    std::size_t at = kIdHeader + 4;
    DistListMember m;
    if (!takeString(id, at, wide, m.name) || !takeString(id, at, wide, m.addressType) ||
        !takeString(id, at, wide, m.address))
        return std::nullopt;
    return m;
}

DistListFields readDistList(const ItemProperties& item) {
    const PropertyBag& p = item.own;
    DistListFields d;
    d.name = p.text(kPsetidAddress, lid::kDistributionListName)
                 .value_or(p.text(pid::kDisplayName).value_or(itemSubject(p)));
    d.notes = itemPlainBody(p);
    d.categories = itemCategories(p);
    const std::vector<Bytes> members = p.binaries(kPsetidAddress, lid::kDistributionListMembers);
    const std::vector<Bytes> oneOffs =
        p.binaries(kPsetidAddress, lid::kDistributionListOneOffMembers);
    const std::size_t count = std::max(members.size(), oneOffs.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::optional<DistListMember> m;
        // The one-off list names every member, whatever the member entry points at.
        if (i < oneOffs.size()) m = parseOneOffEntryId(oneOffs[i]);
        if (!m && i < members.size()) m = parseOneOffEntryId(members[i]);
        if (!m) m.emplace();
        if (i < members.size() && hasProvider(members[i], kWrappedProvider) &&
            members[i].size() >= kIdHeader + 1 + kMessageEntryIdSize) {
            const ByteView w(members[i]);
            const std::uint8_t type = w[kIdHeader] & 0x0F;
            if (type == kWrappedContact || type == kWrappedList) {
                m->nodeId = load32(w.data() + kIdHeader + 1 + kMessageEntryIdSize - 4);
                m->isList = type == kWrappedList;
            }
        }
        if (m->name.empty() && m->address.empty() && !m->nodeId) continue;
        d.members.push_back(std::move(*m));
    }
    return d;
}

}  // namespace brevik
