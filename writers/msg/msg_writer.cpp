#include "writers/msg/msg_writer.h"

#include <gsf/gsf.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "engine/crc.h"
#include "writers/files/header_values.h"
#include "writers/files/item_fields.h"

namespace brevik::msg {
namespace {

namespace ptypes = ::brevik::ptype;

constexpr int kMaxDepth = 16;
constexpr std::uint32_t kReadableWritable = 0x6;
constexpr std::uint32_t kStoreUnicodeOk = 0x00040000;
// The root storage's class: an Outlook message.
constexpr guint8 kMessageClassId[16] = {0x0B, 0x0D, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::array<std::uint8_t, 16> kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::array<std::uint8_t, 16> kPsPublicStrings = {
    0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

struct Unref {
    void operator()(gpointer p) const {
        if (p) g_object_unref(p);
    }
};
using OutPtr = std::unique_ptr<GsfOutput, Unref>;

// Properties that other programs write into a message's headers as they stand.
bool isHeaderProperty(std::uint16_t id) {
    return id == pid::kInternetMessageId || id == pid::kInReplyToId ||
           id == pid::kInternetReferences || id == pid::kAttachMimeTag ||
           id == pid::kAttachContentId;
}

std::optional<std::string> headerValue(std::uint16_t id, const std::string& text) {
    if (text.empty()) return text;
    if (id == pid::kInternetMessageId || id == pid::kAttachContentId) return files::headerId(text);
    if (id == pid::kAttachMimeTag) return files::mimeType(text);
    return files::headerIdList(text);
}

void put32(Bytes& out, std::uint32_t v) {
    const std::size_t at = out.size();
    out.resize(at + 4);
    store32(out.data() + at, v);
}

std::string hex8(std::uint32_t v) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

void writeStream(GsfOutfile* dir, const std::string& name, const Bytes& bytes) {
    OutPtr s(gsf_outfile_new_child(dir, name.c_str(), FALSE));
    if (!s) return;
    if (!bytes.empty()) gsf_output_write(s.get(), bytes.size(), bytes.data());
    gsf_output_close(s.get());
}

Bytes withTerminator(Bytes b, std::size_t width) {
    b.insert(b.end(), width, 0);
    return b;
}

// Values of an [MS-PST] multi-valued variable property: count, offsets, then the data.
std::vector<Bytes> splitMulti(const Bytes& v) {
    std::vector<Bytes> out;
    const ByteView view(v);
    const std::uint32_t count = get32(view, 0);
    if (count == 0 || count > (v.size() - 4) / 4) return out;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t start = get32(view, 4 + 4 * i);
        const std::uint32_t end =
            i + 1 < count ? get32(view, 4 + 4 * (i + 1)) : static_cast<std::uint32_t>(v.size());
        if (start > end || end > v.size()) return {};
        out.emplace_back(v.begin() + start, v.begin() + end);
    }
    return out;
}

// A multi-valued 8-bit string property as the same layout of UTF-16 values.
Bytes multiToUnicode(const Bytes& v, std::uint32_t codepage) {
    const std::vector<Bytes> values = splitMulti(v);
    Bytes out(4 + 4 * values.size(), 0);
    store32(out.data(), static_cast<std::uint32_t>(values.size()));
    for (std::size_t i = 0; i < values.size(); ++i) {
        store32(out.data() + 4 + 4 * i, static_cast<std::uint32_t>(out.size()));
        const Bytes text =
            pst::utf8ToUtf16le(files::decodeString({0, ptypes::kString8, values[i]}, codepage));
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

class MsgBuilder {
  public:
    explicit MsgBuilder(const std::vector<pst::NamedProperty>& names) : names_(names) {}

    // Every named id the item and its parts use, numbered again from 0x8000 in order.
    void collectNames(const pst::Item& item, int depth) {
        auto scan = [&](const pst::PropertyList& list) {
            for (const pst::Property& p : list)
                if (p.id >= kFirstNamedPropertyId && p.id - kFirstNamedPropertyId < names_.size())
                    used_.emplace(p.id, 0);
        };
        scan(item.properties);
        for (const auto& r : item.recipients)
            scan(r.properties);
        for (const auto& a : item.attachments) {
            scan(a.properties);
            if (a.embedded && depth < kMaxDepth) collectNames(*a.embedded, depth + 1);
        }
    }
    void numberNames() {
        std::uint16_t next = kFirstNamedPropertyId;
        for (auto& [id, mapped] : used_)
            mapped = next++;
    }

    // One message object's streams and storages in `dir`.
    void writeMessage(GsfOutfile* dir, const pst::Item& item, bool top, int depth) {
        const files::ItemFields fields(item.properties);
        const std::uint32_t codepage = fields.codepage();
        Bytes props(top ? 32 : 24, 0);
        store32(props.data() + 8, static_cast<std::uint32_t>(item.recipients.size()));
        store32(props.data() + 12, static_cast<std::uint32_t>(item.attachments.size()));
        store32(props.data() + 16, static_cast<std::uint32_t>(item.recipients.size()));
        store32(props.data() + 20, static_cast<std::uint32_t>(item.attachments.size()));
        std::set<std::uint16_t> seen;
        writeProperties(dir, item.properties, codepage, props, seen);
        if (top && !seen.count(pid::kStoreSupportMask)) {
            Bytes v(4);
            store32(v.data(), kStoreUnicodeOk);
            addEntry(dir, {pid::kStoreSupportMask, ptypes::kInt32, v}, props, seen);
        }
        writeStream(dir, "__properties_version1.0", props);

        for (std::size_t i = 0; i < item.recipients.size(); ++i) {
            OutPtr sub(
                gsf_outfile_new_child(dir, ("__recip_version1.0_#" + hex8(i)).c_str(), TRUE));
            GsfOutfile* recip = GSF_OUTFILE(sub.get());
            Bytes rp(8, 0);
            std::set<std::uint16_t> rseen;
            writeProperties(recip, item.recipients[i].properties, codepage, rp, rseen);
            if (!rseen.count(pid::kRowId)) {
                Bytes v(4);
                store32(v.data(), static_cast<std::uint32_t>(i));
                addEntry(recip, {pid::kRowId, ptypes::kInt32, v}, rp, rseen);
            }
            writeStream(recip, "__properties_version1.0", rp);
            gsf_output_close(sub.get());
        }
        for (std::size_t i = 0; i < item.attachments.size(); ++i) {
            const pst::Attachment& a = item.attachments[i];
            OutPtr sub(
                gsf_outfile_new_child(dir, ("__attach_version1.0_#" + hex8(i)).c_str(), TRUE));
            GsfOutfile* attach = GSF_OUTFILE(sub.get());
            Bytes ap(8, 0);
            std::set<std::uint16_t> aseen{pid::kAttachDataObject};
            writeProperties(attach, a.properties, codepage, ap, aseen);
            if (a.embedded && depth < kMaxDepth) {
                // The entry of an embedded message has no size; the message is a sub-storage.
                put32(ap, (std::uint32_t{pid::kAttachDataObject} << 16) | ptypes::kObject);
                put32(ap, kReadableWritable);
                put32(ap, 0xFFFFFFFF);
                put32(ap, 0);
                OutPtr inner(gsf_outfile_new_child(attach, "__substg1.0_3701000D", TRUE));
                writeMessage(GSF_OUTFILE(inner.get()), *a.embedded, false, depth + 1);
                gsf_output_close(inner.get());
            } else if (!a.embedded) {
                aseen.erase(pid::kAttachDataObject);
                addEntry(attach, {pid::kAttachDataObject, ptypes::kBinary, a.data}, ap, aseen);
            }
            writeStream(attach, "__properties_version1.0", ap);
            gsf_output_close(sub.get());
        }
        if (top) writeNameMap(dir);
    }

  private:
    void writeProperties(GsfOutfile* dir, const pst::PropertyList& list, std::uint32_t codepage,
                         Bytes& props, std::set<std::uint16_t>& seen) {
        for (const pst::Property& p : list) {
            pst::Property out{p.id, p.type, {}};
            if (p.id >= kFirstNamedPropertyId) {
                const auto it = used_.find(p.id);
                if (it == used_.end()) continue;
                out.id = it->second;
            }
            const bool isString = p.type == ptypes::kUnicode || p.type == ptypes::kString8;
            if (isString && isHeaderProperty(p.id)) {
                // Readers turn these into headers: no line break may reach them.
                const auto value = headerValue(p.id, files::decodeString(p, codepage));
                if (!value) continue;
                out.type = ptypes::kUnicode;
                out.value = pst::utf8ToUtf16le(*value);
            } else if (p.id == pid::kSubject && isString) {
                // The store keeps a marker and a prefix length before the subject; a message
                // file holds the subject alone.
                out.type = ptypes::kUnicode;
                out.value = pst::utf8ToUtf16le(files::ItemFields({p}, codepage).subject());
            } else if (p.type == ptypes::kString8) {
                out.type = ptypes::kUnicode;
                out.value = pst::utf8ToUtf16le(files::decodeString(p, codepage));
            } else if (p.type == ptypes::kMultiString8) {
                out.type = ptypes::kMultiUnicode;
                out.value = multiToUnicode(p.value, codepage);
            } else {
                out.value = p.value;
            }
            addEntry(dir, out, props, seen);
        }
    }

    // One property: its entry in `props` and, for values kept in streams, its streams.
    void addEntry(GsfOutfile* dir, const pst::Property& p, Bytes& props,
                  std::set<std::uint16_t>& seen) {
        if (seen.count(p.id)) return;  // one value per id: stream names must stay unique
        const std::uint32_t tag = (std::uint32_t{p.id} << 16) | p.type;
        const std::string stream = "__substg1.0_" + hex8(tag);
        Bytes value(8, 0);
        if (const std::size_t width = pst::fixedTypeWidth(p.type)) {
            std::copy_n(p.value.begin(), std::min(width, p.value.size()), value.begin());
        } else if (p.type == ptypes::kUnicode) {
            store32(value.data(), static_cast<std::uint32_t>(p.value.size() + 2));
            writeStream(dir, stream, p.value);
        } else if (p.type == ptypes::kBinary || p.type == ptypes::kGuid) {
            store32(value.data(), static_cast<std::uint32_t>(p.value.size()));
            writeStream(dir, stream, p.value);
        } else if (p.type == ptypes::kMultiUnicode || p.type == ptypes::kMultiBinary) {
            // A stream of lengths, then one stream per value.
            const bool text = p.type == ptypes::kMultiUnicode;
            Bytes lengths;
            std::vector<Bytes> values = splitMulti(p.value);
            for (std::size_t i = 0; i < values.size(); ++i) {
                Bytes v = values[i];
                if (text) v = withTerminator(std::move(v), 2);
                put32(lengths, static_cast<std::uint32_t>(v.size()));
                if (!text) put32(lengths, 0);
                writeStream(dir, stream + "-" + hex8(static_cast<std::uint32_t>(i)), v);
            }
            store32(value.data(), static_cast<std::uint32_t>(lengths.size()));
            writeStream(dir, stream, lengths);
        } else if ((p.type & ptypes::kMultiValued) &&
                   pst::fixedTypeWidth(p.type & ~ptypes::kMultiValued)) {
            store32(value.data(), static_cast<std::uint32_t>(p.value.size()));
            writeStream(dir, stream, p.value);
        } else {
            return;  // objects and types a message file cannot hold
        }
        seen.insert(p.id);
        put32(props, tag);
        put32(props, kReadableWritable);
        props.insert(props.end(), value.begin(), value.end());
    }

    // The named-property mapping storage: GUIDs, entries, string names, and the entries again
    // in the hash buckets readers look them up by.
    void writeNameMap(GsfOutfile* root) {
        OutPtr sub(gsf_outfile_new_child(root, "__nameid_version1.0", TRUE));
        GsfOutfile* dir = GSF_OUTFILE(sub.get());
        Bytes guids, entries, strings;
        std::map<std::uint32_t, Bytes> buckets;
        std::vector<std::array<std::uint8_t, 16>> guidList;
        for (const auto& [sourceId, mapped] : used_) {
            const pst::NamedProperty& n = names_[sourceId - kFirstNamedPropertyId];
            std::uint32_t guidIndex;
            if (n.guid == kPsMapi) {
                guidIndex = 1;
            } else if (n.guid == kPsPublicStrings) {
                guidIndex = 2;
            } else {
                auto it = std::find(guidList.begin(), guidList.end(), n.guid);
                if (it == guidList.end()) {
                    guidList.push_back(n.guid);
                    guids.insert(guids.end(), n.guid.begin(), n.guid.end());
                    it = guidList.end() - 1;
                }
                guidIndex = 3 + static_cast<std::uint32_t>(it - guidList.begin());
            }
            std::uint32_t key = n.numericId;
            if (n.isString) {
                const Bytes name = pst::utf8ToUtf16le(n.name);
                key = static_cast<std::uint32_t>(strings.size());
                put32(strings, static_cast<std::uint32_t>(name.size()));
                strings.insert(strings.end(), name.begin(), name.end());
                strings.resize((strings.size() + 3) & ~std::size_t{3}, 0);
                const std::uint32_t crc = crc32(name.data(), name.size());
                const std::uint32_t info =
                    ((mapped - kFirstNamedPropertyId) << 16) | (guidIndex << 1) | 1;
                put32(entries, key);
                put32(entries, info);
                Bytes& bucket =
                    buckets[pid::kNameidBucketBase + ((crc ^ ((guidIndex << 1) | 1)) % 0x1F)];
                put32(bucket, crc);
                put32(bucket, info);
            } else {
                const std::uint32_t info =
                    ((mapped - kFirstNamedPropertyId) << 16) | (guidIndex << 1);
                put32(entries, key);
                put32(entries, info);
                Bytes& bucket = buckets[pid::kNameidBucketBase + ((key ^ (guidIndex << 1)) % 0x1F)];
                put32(bucket, key);
                put32(bucket, info);
            }
        }
        writeStream(dir, "__substg1.0_00020102", guids);
        writeStream(dir, "__substg1.0_00030102", entries);
        writeStream(dir, "__substg1.0_00040102", strings);
        for (const auto& [streamId, bytes] : buckets)
            writeStream(dir, "__substg1.0_" + hex8((streamId << 16) | ptypes::kBinary), bytes);
        gsf_output_close(sub.get());
    }

    const std::vector<pst::NamedProperty>& names_;
    std::map<std::uint16_t, std::uint16_t> used_;  // source id -> id in the file
};

}  // namespace

Bytes writeMsg(const pst::Item& item, const std::vector<pst::NamedProperty>& names) {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
    MsgBuilder builder(names);
    builder.collectNames(item, 0);
    builder.numberNames();

    OutPtr memory(gsf_output_memory_new());
    OutPtr ole(GSF_OUTPUT(gsf_outfile_msole_new(memory.get())));
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole.get()), kMessageClassId);
    builder.writeMessage(GSF_OUTFILE(ole.get()), item, true, 0);
    gsf_output_close(ole.get());  // closes the memory output too
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.get()));
    const auto size = static_cast<std::size_t>(gsf_output_size(memory.get()));
    return bytes ? Bytes(bytes, bytes + size) : Bytes();
}

}  // namespace brevik::msg
