#include "message/item_properties.h"

#include <algorithm>
#include <cstring>

#include "engine/ndb_format.h"
#include "message/interpret_properties.h"
#include "message/property_reader.h"
#include "message/property_tags.h"

namespace brevik {
namespace {

bool isText(std::uint16_t type) {
    return type == ptype::kUnicode || type == ptype::kString8;
}

std::string decode(const std::uint8_t* data, std::size_t size, std::uint16_t type,
                   std::uint32_t codepage) {
    PropertyValue v;
    v.type = type;
    v.data = Bytes(data, data + size);
    StringSlot slot;
    storeStringValue(nullptr, slot, v, codepage);
    std::string s = slot.value_or(std::string());
    // A stored terminator is not part of the text.
    if (const auto zero = s.find('\0'); zero != std::string::npos) s.resize(zero);
    return s;
}

}  // namespace

std::vector<Bytes> splitMultiValue(const Bytes& data) {
    std::vector<Bytes> out;
    const ByteView v(data);
    if (!fits(v, 0, 4)) return out;
    const std::uint32_t count = load32(data.data());
    // Each value needs at least its 4-byte offset.
    if (count > (data.size() - 4) / 4) return out;
    const std::size_t start = 4 + std::size_t{count} * 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t begin = load32(data.data() + 4 + 4 * i);
        const std::size_t end = i + 1 < count ? load32(data.data() + 8 + 4 * i) : data.size();
        if (begin < start || begin > end || end > data.size()) continue;
        out.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(begin),
                         data.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return out;
}

PropertyBag::PropertyBag(PropertyRow row, std::uint32_t codepage, const NamedIds* names)
    : row_(std::move(row)), codepage_(codepage ? codepage : kDefaultCodepage), names_(names) {}

const PropertyValue* PropertyBag::find(std::uint16_t id) const {
    if (id == 0) return nullptr;
    for (const PropertyValue& v : row_)
        if (v.id == id && v.data) return &v;
    return nullptr;
}

std::uint16_t PropertyBag::named(const PropertySetGuid& set, std::uint32_t lid) const {
    return names_ ? names_->id(set, lid) : 0;
}

std::optional<std::string> PropertyBag::text(std::uint16_t id) const {
    const PropertyValue* v = find(id);
    if (!v || !isText(v->type)) return std::nullopt;
    std::string s = decode(v->data->data(), v->data->size(), v->type, codepage_);
    if (s.empty()) return std::nullopt;
    return s;
}

std::optional<std::int32_t> PropertyBag::int32(std::uint16_t id) const {
    const PropertyValue* v = find(id);
    if (v && v->type == ptype::kInt32 && v->data->size() >= 4)
        return static_cast<std::int32_t>(load32(v->data->data()));
    if (v && v->type == ptype::kInt16 && v->data->size() >= 2)
        return static_cast<std::int16_t>(load16(v->data->data()));
    return std::nullopt;
}

std::optional<bool> PropertyBag::boolean(std::uint16_t id) const {
    const PropertyValue* v = find(id);
    if (!v || v->data->empty() || (v->type != ptype::kBoolean && v->type != ptype::kInt32))
        return std::nullopt;
    return (*v->data)[0] != 0;
}

std::optional<double> PropertyBag::real(std::uint16_t id) const {
    const PropertyValue* v = find(id);
    if (!v) return std::nullopt;
    if (v->type == ptype::kDouble && v->data->size() >= 8) {
        const std::uint64_t bits = load64(v->data->data());
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    if (v->type == ptype::kFloat && v->data->size() >= 4) {
        const std::uint32_t bits = load32(v->data->data());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> PropertyBag::time(std::uint16_t id) const {
    // Outlook writes 4501-01-01 for "no date" (a task without a due date, say).
    constexpr std::uint64_t kNoDate = 0x0CB34557A3DD4000ull;
    const PropertyValue* v = find(id);
    if (!v || v->type != ptype::kTime || v->data->size() < 8) return std::nullopt;
    const std::uint64_t t = load64(v->data->data());
    if (t >= kNoDate) return std::nullopt;
    return t;
}

const Bytes* PropertyBag::binary(std::uint16_t id) const {
    const PropertyValue* v = find(id);
    return v && v->type == ptype::kBinary ? &*v->data : nullptr;
}

std::vector<std::string> PropertyBag::texts(std::uint16_t id) const {
    std::vector<std::string> out;
    const PropertyValue* v = find(id);
    if (!v) return out;
    if (isText(v->type)) {
        if (auto t = text(id)) out.push_back(*t);
        return out;
    }
    if (v->type != ptype::kMultiUnicode && v->type != ptype::kMultiString8) return out;
    const std::uint16_t single = v->type & ~ptype::kMultiValued;
    for (const Bytes& b : splitMultiValue(*v->data)) {
        std::string s = decode(b.data(), b.size(), single, codepage_);
        if (!s.empty()) out.push_back(std::move(s));
    }
    return out;
}

std::vector<Bytes> PropertyBag::binaries(std::uint16_t id) const {
    const PropertyValue* v = find(id);
    if (!v) return {};
    if (v->type == ptype::kBinary) return {*v->data};
    if (v->type != ptype::kMultiBinary) return {};
    return splitMultiValue(*v->data);
}

std::optional<ItemProperties> readItemProperties(MessageBase& base, const NamedIds& names,
                                                 std::uint32_t itemIndex, bool withAttachments) {
    if (itemIndex >= base.messageEntries.size()) return std::nullopt;
    const MessageNodeEntry& entry = base.messageEntries[itemIndex];
    try {
        PropertyList rows;
        if (readPropertyList(base, rows, entry.dataIndex, entry.subnodes, true,
                             ReadMode::Complete) == -1 ||
            rows.empty())
            return std::nullopt;
        const std::uint32_t codepage = findStringCodepage(rows);
        ItemProperties item;
        item.own = PropertyBag(std::move(rows.front()), codepage, &names);
        // The recipient table counts only at the top (one below belongs to an embedded
        // message); attachment subnodes are found at any depth, as the item loader finds them.
        auto subnode = [&](std::uint32_t nid, bool topOnly) {
            const auto it =
                std::find_if(entry.subnodes.begin(), entry.subnodes.end(), [&](const auto& s) {
                    return s.nodeId == nid && (!topOnly || s.ownerDataIndex == 0);
                });
            return it == entry.subnodes.end() ? nullptr : &*it;
        };
        if (const SubnodeEntry* table = subnode(ndb::kNidRecipientTable, true)) {
            rows.clear();
            if (readPropertyList(base, rows, table->dataIndex, entry.subnodes, true,
                                 ReadMode::Complete) != -1)
                for (PropertyRow& row : rows)
                    item.recipients.emplace_back(std::move(row), codepage, &names);
        }
        const SubnodeEntry* table =
            withAttachments ? subnode(ndb::kNidAttachmentTable, false) : nullptr;
        rows.clear();
        if (table && readPropertyList(base, rows, table->dataIndex, entry.subnodes, false,
                                      ReadMode::Complete) != -1) {
            for (const PropertyRow& row : rows) {
                const auto rowId = std::find_if(row.begin(), row.end(), [](const auto& v) {
                    return v.id == pid::kLtpRowId && v.data && v.data->size() >= 4;
                });
                if (rowId == row.end()) continue;
                const std::uint32_t nid = load32(rowId->data->data());
                const SubnodeEntry* own = subnode(nid, false);
                PropertyList attachment;
                if (!own ||
                    readPropertyList(base, attachment, own->dataIndex, entry.subnodes, true,
                                     ReadMode::Complete) == -1 ||
                    attachment.size() != 1)
                    continue;
                item.attachments.emplace_back(std::move(attachment.front()), codepage, &names);
            }
        }
        return item;
    } catch (...) {
        return std::nullopt;  // damaged data: no fields rather than a fault
    }
}

}  // namespace brevik
