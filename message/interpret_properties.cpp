#include "message/interpret_properties.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <new>
#include <utility>

#include "message/class_prefix.h"
#include "message/property_reader.h"
#include "message/property_tags.h"
#include "message/text.h"

namespace brevik {
namespace {

// Contact properties that have no slot: binary, multi-valued or numeric ones.
bool ignoredContactProperty(std::uint32_t id) {
    switch (id) {
        case 0x3A01:
        case 0x3A03:
        case 0x3A04:
        case 0x3A0E:
        case 0x3A12:
        case 0x3A14:
        case 0x3A22:
        case 0x3A40:
        case 0x3A4D:
        case 0x3A52:
        case 0x3A53:
        case 0x3A54:
        case 0x3A55:
        case 0x3A56:
        case 0x3A58:
            return true;
        default:
            return false;
    }
}

// UTF-16 and UTF-32 cannot hold 8-bit strings; a value naming them is not a usable code page.
bool usableCodepage(std::uint32_t cp) {
    return cp != 0 && cp <= 65535 && cp != 1200 && cp != 1201 && cp != 12000 && cp != 12001;
}

constexpr std::uint32_t kUsAscii = 20127;

// The first usable code page named by `first`, else by `second`, in any row.
std::uint32_t findCodepage(const PropertyList& rows, std::uint32_t first, std::uint32_t second) {
    for (const std::uint32_t id : {first, second}) {
        for (const PropertyRow& row : rows) {
            for (const PropertyValue& v : row) {
                if (v.id != id || !v.data || v.data->size() < 4) continue;
                const std::uint32_t cp = load32(v.data->data());
                if (usableCodepage(cp)) return cp == kUsAscii ? kDefaultCodepage : cp;
            }
        }
    }
    return 0;
}

// A value's bytes: its own data, or read through its locator when a base is at hand.
class ValueBytes {
  public:
    ValueBytes(MessageBase* base, const PropertyValue& v) {
        if (v.data) {
            bytes_ = &*v.data;
        } else if (base) {
            loaded_ = loadValue(*base, v.locator, 0, false);
            bytes_ = &loaded_;
        }
    }
    bool available() const { return bytes_ != nullptr; }
    const Bytes& bytes() const { return *bytes_; }

  private:
    const Bytes* bytes_ = nullptr;
    Bytes loaded_;
};

std::string decodeText(const std::uint8_t* data, std::size_t size, std::uint16_t type,
                       std::uint32_t codepage) {
    if (type == ptype::kUnicode) return utf16ToUtf8(data, size);
    if (type == ptype::kString8) return codepageToUtf8(data, size, codepage);
    return std::string(data, data + size);
}

// storeStringValue, decoding the value as `type`.
int storeAs(MessageBase* base, StringSlot& slot, const PropertyValue& v, std::uint16_t type,
            std::uint32_t codepage) {
    slot.reset();
    try {
        const ValueBytes value(base, v);
        if (!value.available()) return 1;
        // A loaded value that came back empty could not be read.
        if (!v.data && value.bytes().empty()) return 1;
        slot = decodeText(value.bytes().data(), value.bytes().size(), type, codepage);
        return 1;
    } catch (const std::bad_alloc&) {
        slot.reset();
        return -1;
    }
}

// The first 32 bits of an inline or heap value, zero-extended when shorter.
std::optional<std::uint32_t> value32(const PropertyValue& v) {
    if (!v.data || v.data->empty()) return std::nullopt;
    std::uint8_t le[4] = {0, 0, 0, 0};
    std::copy_n(v.data->begin(), std::min<std::size_t>(4, v.data->size()), le);
    return load32(le);
}

TimeSlot valueTime(const PropertyValue& v) {
    if (!v.data) return std::nullopt;
    std::uint8_t le[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    std::copy_n(v.data->begin(), std::min<std::size_t>(8, v.data->size()), le);
    return load64(le);
}

void set32(std::uint32_t& out, const PropertyValue& v) {
    if (auto x = value32(v)) out = *x;
}
void set32(std::optional<std::uint32_t>& out, const PropertyValue& v) {
    if (auto x = value32(v)) out = *x;
}
void setTime(TimeSlot& out, const PropertyValue& v) {
    if (auto t = valueTime(v)) out = t;
}

// Marker characters are control characters; anything else starts the subject itself.
bool isControl(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// PidTagSubject: an optional control-character marker and prefix length precede the text.
void storeSubject(MessageBase* base, const PropertyValue& v, std::uint32_t codepage,
                  MessageEnvelope& env) {
    const ValueBytes value(base, v);
    if (!value.available() || value.bytes().empty()) return;
    const Bytes& b = value.bytes();
    SubjectRecord subject;
    std::size_t skip = 0;
    if (v.type == ptype::kUnicode) {
        if (b.size() >= 4 && isControl(load16(b.data()))) {
            subject.marker = b[0];
            subject.prefixLength = b[2];
            skip = 4;
        }
        subject.text = utf16ToUtf8(b.data() + skip, b.size() - skip);
    } else {
        // A first byte of 100 or more is taken as text, whatever it is.
        if (b.size() >= 2 && b[0] < 0x20) {
            subject.marker = b[0];
            subject.prefixLength = b[1];
            skip = 2;
        }
        subject.text = decodeText(b.data() + skip, b.size() - skip, v.type, codepage);
    }
    env.subject = std::move(subject);
}

// A body (plain or HTML): an empty text is not kept; otherwise its locator is kept so that the
// body can be read again.
void storeBody(MessageBase* base, StringSlot& slot, ValueLocator& locator, const PropertyValue& v,
               std::uint32_t codepage) {
    // The HTML body is usually binary in the item's code page; it reaches views as UTF-8 text.
    storeAs(base, slot, v, v.type == ptype::kBinary ? ptype::kString8 : v.type, codepage);
    if (slot && slot->empty()) {
        slot.reset();
        return;
    }
    locator = v.locator;
}

void storeRaw(MessageBase* base, std::optional<Bytes>& out, const PropertyValue& v) {
    if (v.data)
        out = *v.data;
    else if (base)
        out = loadValue(*base, v.locator, 0, false);
}

void storeContact(MessageBase* base, MessageRecord& record, const PropertyValue& v,
                  std::uint32_t codepage) {
    if (!record.contact) record.contact.emplace();
    ContactRecord& c = *record.contact;
    if (ignoredContactProperty(v.id)) return;
    if (v.id == pid::kWeddingAnniversary)
        setTime(c.weddingAnniversary, v);
    else if (v.id == pid::kBirthday)
        setTime(c.birthday, v);
    else
        storeStringValue(base, c.slot(v.id), v, codepage);
}

class Interpreter {
  public:
    Interpreter(MessageBase* base, MessageRecord& record, std::uint32_t codepage,
                std::uint32_t htmlCodepage, LoadScope scope)
        : base_(base),
          r_(record),
          env_(record.envelope),
          cp_(codepage),
          htmlCp_(htmlCodepage),
          summaryOnly_(scope == LoadScope::Summary) {}

    // One property; `att` is the attachment target (null when there is none). Returns true when
    // the property is an attachment property and there is a target.
    bool apply(const PropertyValue& v, AttachmentRecord* att) {
        if (v.id >= kFirstContactProperty && v.id <= kLastContactProperty) {
            if (!summaryOnly_) storeContact(base_, r_, v, cp_);
            return false;
        }
        switch (v.id) {
            case pid::kImportance:
                set32(env_.importance, v);
                break;
            case pid::kMessageClass:
                str(r_.messageClass, v);
                r_.kind = messageClassKind(r_.messageClass.value_or(std::string()));
                break;
            case pid::kPriority:
                set32(env_.priority, v);
                break;
            case pid::kSubject:
                storeSubject(base_, v, cp_, env_);
                break;
            case pid::kClientSubmitTime:
                setTime(env_.clientSubmitTime, v);
                break;
            case pid::kSentRepresentingSearchKey:
                detail(env_.sentRepresentingSearchKey, v);
                break;
            case pid::kSubjectPrefix:
                detail(env_.subjectPrefix, v);
                break;
            case pid::kSentRepresentingEntryId:
                detail(env_.sentRepresentingEntryId, v);
                env_.sentRepresentingEntryIdLength = static_cast<std::uint16_t>(v.size());
                break;
            case pid::kSentRepresentingName:
                shown(from_[0], env_.sentRepresentingName, v);
                break;
            case pid::kReplyRecipientNames:
                detail(env_.replyRecipientNames, v);
                break;
            case pid::kReceivedBySearchKey:
                shown(to_[1], env_.receivedBySearchKey, v);
                break;
            case pid::kReceivedRepresentingSearchKey:
                detail(env_.receivedRepresentingSearchKey, v);
                break;
            case pid::kSentRepresentingAddressType:
                detail(env_.sentRepresentingAddressType, v);
                break;
            case pid::kSentRepresentingEmailAddress:
                shown(from_[1], env_.sentRepresentingEmailAddress, v);
                break;
            case pid::kConversationTopic:
                shown(topic_, env_.conversationTopic, v);
                break;
            case pid::kReceivedByAddressType:
                detail(env_.receivedByAddressType, v);
                break;
            case pid::kReceivedByEmailAddress:
                shown(to_[2], env_.receivedByEmailAddress, v);
                break;
            case pid::kReceivedRepresentingAddressType:
                detail(env_.receivedRepresentingAddressType, v);
                break;
            case pid::kReceivedRepresentingEmailAddress:
                shown(to_[3], env_.receivedRepresentingEmailAddress, v);
                break;
            case pid::kTransportMessageHeaders:
                // A summary row asks only whether there are headers.
                if (summaryOnly_ && v.data)
                    env_.transportMessageHeaders.emplace();
                else
                    str(env_.transportMessageHeaders, v);
                break;
            case pid::kSenderEntryId:
                detail(env_.senderEntryId, v);
                env_.senderEntryIdLength = static_cast<std::uint16_t>(v.size());
                break;
            case pid::kSenderName:
                detail(env_.senderName, v);
                break;
            case pid::kSenderSearchKey:
                detail(env_.senderSearchKey, v);
                break;
            case pid::kSenderAddressType:
                detail(env_.senderAddressType, v);
                break;
            case pid::kSenderEmailAddress:
                shown(from_[2], env_.senderEmailAddress, v);
                break;
            case pid::kDisplayBcc:
                detail(env_.displayBcc, v);
                break;
            case pid::kDisplayCc:
                detail(env_.displayCc, v);
                break;
            case pid::kDisplayTo:
                shown(to_[0], env_.displayTo, v);
                break;
            case pid::kMessageDeliveryTime:
                setTime(env_.deliveryTime, v);
                break;
            case pid::kMessageFlags:
                set32(env_.messageFlags, v);
                break;
            case pid::kMessageSize:
                set32(r_.messageSize, v);
                break;
            case pid::kNormalizedSubject:
            case pid::kIpmSubtreeEntryId:
            case pid::kIgnored6F02:
            case pid::kIgnored6F04:
                break;
            case pid::kRtfInSync:
                if (auto x = value32(v)) env_.rtfInSync = static_cast<std::uint16_t>(*x);
                break;
            case pid::kAttachSize:
                if (att) set32(att->size, v);
                return att != nullptr;
            case pid::kBody:
                if (summaryOnly_)
                    deferredBody_ = &v;
                else
                    storeBody(base_, env_.body, env_.bodyLocator, v, cp_);
                break;
            case pid::kRtfSyncBodyCrc:
                set32(env_.rtfSyncBodyCrc, v);
                break;
            case pid::kRtfSyncBodyCount:
                set32(env_.rtfSyncBodyCount, v);
                break;
            case pid::kRtfSyncPrefixCount:
                set32(env_.rtfSyncPrefixCount, v);
                break;
            case pid::kRtfSyncTrailingCount:
                set32(env_.rtfSyncTrailingCount, v);
                break;
            case pid::kRtfSyncBodyTag:
                detail(env_.rtfSyncBodyTag, v);
                break;
            case pid::kRtfCompressed:
                if (summaryOnly_) {
                    deferredRtf_ = &v;
                } else {
                    storeRaw(base_, env_.compressedRtf, v);
                    env_.compressedRtfLocator = v.locator;
                }
                break;
            case pid::kProperty1012:
                if (!summaryOnly_) storeRaw(base_, env_.property1012, v);
                break;
            case pid::kHtml:
                storeBody(base_, env_.html, env_.htmlLocator, v, htmlCp_);
                break;
            case pid::kInternetMessageId:
                detail(env_.internetMessageId, v);
                break;
            case pid::kInReplyToId:
                detail(env_.inReplyToId, v);
                break;
            case pid::kProperty1046:
                detail(env_.property1046, v);
                break;
            case pid::kDisplayName:
                str(att ? att->displayName : r_.displayName, v);
                break;
            case pid::kComment:
                detail(r_.comment, v);
                break;
            // An attachment's own times must not replace the item's.
            case pid::kCreationTime:
                if (!att) setTime(r_.creationTime, v);
                break;
            case pid::kLastModificationTime:
                if (!att) setTime(r_.lastModificationTime, v);
                break;
            case pid::kSearchKey:
                detail(env_.searchKey, v);
                break;
            case pid::kContentCount:
                set32(r_.folderCounts.contentCount, v);
                break;
            case pid::kContentUnreadCount:
                set32(r_.folderCounts.unreadCount, v);
                break;
            case pid::kSubfolders:
                if (auto x = value32(v)) r_.folderCounts.hasSubfolders = *x != 0 ? 1 : 0;
                break;
            case pid::kContainerClass:
                str(r_.messageClass, v);
                r_.kind = containerClassKind(r_.messageClass.value_or(std::string()));
                break;
            case pid::kAssociatedContentCount:
                set32(r_.folderCounts.associatedContentCount, v);
                break;
            case pid::kAttachDataObject:
                if (att) att->dataLocator = v.locator;
                return att != nullptr;
            case pid::kAttachFilename:
                if (att) str(att->fileName, v);
                return att != nullptr;
            case pid::kAttachMethod:
                if (att) set32(att->method, v);
                return att != nullptr;
            case pid::kAttachLongFilename:
                if (att) str(att->longFileName, v);
                return att != nullptr;
            case pid::kRenderingPosition:
                if (att) set32(att->renderingPosition, v);
                return att != nullptr;
            case pid::kAttachMimeTag:
                if (att) detail(att->mimeTag, v);
                return att != nullptr;
            case pid::kProperty3710:
                if (att) set32(att->property3710, v);
                return att != nullptr;
            case pid::kAttachContentId:
                if (att) detail(att->contentId, v);
                return att != nullptr;
            case pid::kLtpRowId:
                if (att) set32(att->rowId, v);
                return att != nullptr;
            default:
                other(v);
                break;
        }
        return false;
    }

    // A summary row shows one body, the first of HTML, text and compressed RTF that has one: the
    // others are stored only when the ones before them turned out absent or empty, so that a
    // listing does not convert two or three bodies per item to show one.
    void storeDeferred() {
        if (!summaryOnly_) return;
        if (deferredBody_ && !env_.html)
            storeBody(base_, env_.body, env_.bodyLocator, *deferredBody_, cp_);
        if (deferredRtf_ && !env_.html && !env_.body) {
            storeRaw(base_, env_.compressedRtf, *deferredRtf_);
            env_.compressedRtfLocator = deferredRtf_->locator;
        }
        deferredBody_ = deferredRtf_ = nullptr;
        // A row shows the first of its sender texts that is not empty, and likewise of its
        // recipient texts; the conversation topic stands in for an empty subject.
        storeFirstWithText({{&env_.sentRepresentingName, from_[0]},
                            {&env_.sentRepresentingEmailAddress, from_[1]},
                            {&env_.senderEmailAddress, from_[2]}});
        storeFirstWithText({{&env_.displayTo, to_[0]},
                            {&env_.receivedBySearchKey, to_[1]},
                            {&env_.receivedByEmailAddress, to_[2]},
                            {&env_.receivedRepresentingEmailAddress, to_[3]}});
        if (!env_.subject || !hasText(env_.subject->text))
            storeFirstWithText({{&env_.conversationTopic, topic_}});
        from_ = {};
        to_ = {};
        topic_ = nullptr;
    }

  private:
    void str(StringSlot& slot, const PropertyValue& v) { storeStringValue(base_, slot, v, cp_); }
    // A text a summary row shows only when the ones before it have none: a summary load
    // converts it at the end, if at all.
    void shown(const PropertyValue*& pending, StringSlot& slot, const PropertyValue& v) {
        if (summaryOnly_)
            pending = &v;
        else
            str(slot, v);
    }
    // What a row shows of a text: up to its first zero.
    static bool hasText(const std::string& s) { return !s.empty() && s[0] != '\0'; }
    void storeFirstWithText(
        std::initializer_list<std::pair<StringSlot*, const PropertyValue*>> texts) {
        for (const auto& [slot, v] : texts) {
            if (!v) continue;
            str(*slot, *v);
            if (*slot && hasText(**slot)) return;
        }
    }
    // A text no summary row shows.
    void detail(StringSlot& slot, const PropertyValue& v) {
        if (!summaryOnly_) str(slot, v);
    }

    void other(const PropertyValue& v) {
        if (summaryOnly_) return;
        if (v.type != ptype::kString8 && v.type != ptype::kUnicode) return;
        if (v.id >= kStringsByIdLimit || !r_.hasStringsById) return;
        StringSlot slot;
        storeStringValue(base_, slot, v, cp_);
        if (slot)
            r_.stringsById[v.id] = std::move(*slot);
        else
            r_.stringsById.erase(v.id);
    }

    MessageBase* base_;
    MessageRecord& r_;
    MessageEnvelope& env_;
    std::uint32_t cp_;
    std::uint32_t htmlCp_;
    bool summaryOnly_;
    // Bodies met in a summary load, stored at the end of the rows if still wanted.
    const PropertyValue* deferredBody_ = nullptr;
    const PropertyValue* deferredRtf_ = nullptr;
    std::array<const PropertyValue*, 3> from_{};
    std::array<const PropertyValue*, 4> to_{};
    const PropertyValue* topic_ = nullptr;
};

}  // namespace

std::uint32_t findStringCodepage(const PropertyList& rows) {
    return findCodepage(rows, pid::kMessageCodepage, pid::kInternetCodepage);
}

std::uint32_t findHtmlCodepage(const PropertyList& rows) {
    return findCodepage(rows, pid::kInternetCodepage, pid::kMessageCodepage);
}

int storeStringValue(MessageBase* base, StringSlot& slot, const PropertyValue& v,
                     std::uint32_t codepage) {
    return storeAs(base, slot, v, v.type, codepage);
}

namespace {

// The item's own sender, recipient and topic texts, which a summary converts only as far as its
// row needs them.
bool shownTextProperty(std::uint16_t id) {
    switch (id) {
        case pid::kSentRepresentingName:
        case pid::kSentRepresentingEmailAddress:
        case pid::kSenderEmailAddress:
        case pid::kDisplayTo:
        case pid::kReceivedBySearchKey:
        case pid::kReceivedByEmailAddress:
        case pid::kReceivedRepresentingEmailAddress:
        case pid::kConversationTopic:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool summaryProperty(std::uint16_t id) {
    if (shownTextProperty(id)) return true;
    switch (id) {
        // The row's texts, times and kind.
        case pid::kMessageClass:
        case pid::kContainerClass:
        case pid::kSubject:
        case pid::kDisplayName:
        case pid::kClientSubmitTime:
        case pid::kMessageDeliveryTime:
        case pid::kCreationTime:
        case pid::kLastModificationTime:
        // The body shown, and whether there is any content.
        case pid::kHtml:
        case pid::kBody:
        case pid::kRtfCompressed:
        case pid::kTransportMessageHeaders:
        case pid::kMessageCodepage:
        case pid::kInternetCodepage:
        // Every attachment property: each one marks its row as an attachment.
        case pid::kAttachSize:
        case pid::kAttachDataObject:
        case pid::kAttachFilename:
        case pid::kAttachMethod:
        case pid::kAttachLongFilename:
        case pid::kRenderingPosition:
        case pid::kAttachMimeTag:
        case pid::kProperty3710:
        case pid::kAttachContentId:
        case pid::kLtpRowId:
            return true;
        default:
            return false;
    }
}

bool summaryAttachmentProperty(std::uint16_t id) {
    // An attachment's copy of the item's own texts must not stand in for them afterwards.
    return !shownTextProperty(id) && summaryProperty(id);
}

int interpretProperties(MessageBase* base, const PropertyList& rows, MessageRecord& record,
                        LoadScope scope) {
    try {
        if (const std::uint32_t cp = findStringCodepage(rows)) record.codepage = cp;
        if (const std::uint32_t cp = findHtmlCodepage(rows)) record.htmlCodepage = cp;
        const std::uint32_t codepage = record.codepage ? record.codepage : kDefaultCodepage;
        const std::uint32_t htmlCodepage =
            record.htmlCodepage ? record.htmlCodepage : kDefaultCodepage;
        Interpreter interpreter(base, record, codepage, htmlCodepage, scope);
        try {
            std::size_t cur = record.currentAttachment;
            if (cur != 0 && cur == record.attachments.size())
                record.attachments.resize(record.attachments.size() + rows.size());
            for (const PropertyRow& row : rows) {
                AttachmentRecord* att =
                    cur < record.attachments.size() ? &record.attachments[cur] : nullptr;
                bool attachmentSeen = false;
                for (const PropertyValue& v : row)
                    attachmentSeen = interpreter.apply(v, att) || attachmentSeen;
                if (attachmentSeen) ++cur;
            }
            if (cur != 0) record.currentAttachment = static_cast<std::uint32_t>(cur);
        } catch (...) {
            // Damaged data ends the work; what was stored so far stays, bodies met included.
        }
        interpreter.storeDeferred();
    } catch (...) {
        // No memory for a body: the record keeps what it has.
    }
    return 1;
}

}  // namespace brevik
