#include "message/interpret_properties.h"

#include <array>
#include <initializer_list>
#include <utility>

#include "message/class_prefix.h"
#include "message/property_tags.h"
#include "message/value_slots.h"

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
        // An attachment property marks its row as an attachment's, when there is one.
        if (attachmentProperty(v, att)) return att != nullptr;
        if (!addressProperty(v) && !envelopeProperty(v) && !bodyProperty(v) &&
            !recordProperty(v, att))
            other(v);
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
    // Who sent the item and to whom: the sender, the one it was sent for, and the recipients
    // as the item names them.
    bool addressProperty(const PropertyValue& v) {
        switch (v.id) {
            case pid::kSentRepresentingSearchKey:
                detail(env_.sentRepresentingSearchKey, v);
                break;
            case pid::kSentRepresentingEntryId:
                detail(env_.sentRepresentingEntryId, v);
                env_.sentRepresentingEntryIdLength = static_cast<std::uint16_t>(v.size());
                break;
            case pid::kSentRepresentingName:
                shown(from_[0], env_.sentRepresentingName, v);
                break;
            case pid::kSentRepresentingAddressType:
                detail(env_.sentRepresentingAddressType, v);
                break;
            case pid::kSentRepresentingEmailAddress:
                shown(from_[1], env_.sentRepresentingEmailAddress, v);
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
            case pid::kReplyRecipientNames:
                detail(env_.replyRecipientNames, v);
                break;
            case pid::kReceivedBySearchKey:
                shown(to_[1], env_.receivedBySearchKey, v);
                break;
            case pid::kReceivedByAddressType:
                detail(env_.receivedByAddressType, v);
                break;
            case pid::kReceivedByEmailAddress:
                shown(to_[2], env_.receivedByEmailAddress, v);
                break;
            case pid::kReceivedRepresentingSearchKey:
                detail(env_.receivedRepresentingSearchKey, v);
                break;
            case pid::kReceivedRepresentingAddressType:
                detail(env_.receivedRepresentingAddressType, v);
                break;
            case pid::kReceivedRepresentingEmailAddress:
                shown(to_[3], env_.receivedRepresentingEmailAddress, v);
                break;
            case pid::kDisplayTo:
                shown(to_[0], env_.displayTo, v);
                break;
            case pid::kDisplayCc:
                detail(env_.displayCc, v);
                break;
            case pid::kDisplayBcc:
                detail(env_.displayBcc, v);
                break;
            default:
                return false;
        }
        return true;
    }

    // The item's own subject, times, flags and internet headers.
    bool envelopeProperty(const PropertyValue& v) {
        switch (v.id) {
            case pid::kImportance:
                set32(env_.importance, v);
                break;
            case pid::kPriority:
                set32(env_.priority, v);
                break;
            case pid::kSubject:
                storeSubject(base_, v, cp_, env_);
                break;
            case pid::kSubjectPrefix:
                detail(env_.subjectPrefix, v);
                break;
            case pid::kNormalizedSubject:
                break;
            case pid::kConversationTopic:
                shown(topic_, env_.conversationTopic, v);
                break;
            case pid::kClientSubmitTime:
                setTime(env_.clientSubmitTime, v);
                break;
            case pid::kMessageDeliveryTime:
                setTime(env_.deliveryTime, v);
                break;
            case pid::kMessageFlags:
                set32(env_.messageFlags, v);
                break;
            case pid::kTransportMessageHeaders:
                // A summary row asks only whether there are headers.
                if (summaryOnly_ && v.data)
                    env_.transportMessageHeaders.emplace();
                else
                    str(env_.transportMessageHeaders, v);
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
            case pid::kSearchKey:
                detail(env_.searchKey, v);
                break;
            default:
                return false;
        }
        return true;
    }

    // The bodies: text, HTML, compressed RTF and what keeps RTF in step with the text.
    bool bodyProperty(const PropertyValue& v) {
        switch (v.id) {
            case pid::kBody:
                if (summaryOnly_)
                    deferredBody_ = &v;
                else
                    storeBody(base_, env_.body, env_.bodyLocator, v, cp_);
                break;
            case pid::kHtml:
                storeBody(base_, env_.html, env_.htmlLocator, v, htmlCp_);
                break;
            case pid::kRtfCompressed:
                if (summaryOnly_) {
                    deferredRtf_ = &v;
                } else {
                    storeRaw(base_, env_.compressedRtf, v);
                    env_.compressedRtfLocator = v.locator;
                }
                break;
            case pid::kRtfInSync:
                if (auto x = value32(v)) env_.rtfInSync = static_cast<std::uint16_t>(*x);
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
            case pid::kProperty1012:
                if (!summaryOnly_) storeRaw(base_, env_.property1012, v);
                break;
            default:
                return false;
        }
        return true;
    }

    // What items and folders both have (class, name, times), and a folder's counts.
    bool recordProperty(const PropertyValue& v, AttachmentRecord* att) {
        switch (v.id) {
            case pid::kMessageClass:
                str(r_.messageClass, v);
                r_.kind = messageClassKind(r_.messageClass.value_or(std::string()));
                break;
            case pid::kContainerClass:
                str(r_.messageClass, v);
                r_.kind = containerClassKind(r_.messageClass.value_or(std::string()));
                break;
            case pid::kMessageSize:
                set32(r_.messageSize, v);
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
            case pid::kContentCount:
                set32(r_.folderCounts.contentCount, v);
                break;
            case pid::kContentUnreadCount:
                set32(r_.folderCounts.unreadCount, v);
                break;
            case pid::kAssociatedContentCount:
                set32(r_.folderCounts.associatedContentCount, v);
                break;
            case pid::kSubfolders:
                if (auto x = value32(v)) r_.folderCounts.hasSubfolders = *x != 0 ? 1 : 0;
                break;
            case pid::kIpmSubtreeEntryId:
                break;
            case pid::kIgnored6F02:
                break;
            case pid::kIgnored6F04:
                break;
            default:
                return false;
        }
        return true;
    }

    // An attachment's own properties, stored when there is an attachment to take them.
    bool attachmentProperty(const PropertyValue& v, AttachmentRecord* att) {
        switch (v.id) {
            case pid::kAttachSize:
                if (att) set32(att->size, v);
                break;
            case pid::kAttachDataObject:
                if (att) att->dataLocator = v.locator;
                break;
            case pid::kAttachFilename:
                if (att) str(att->fileName, v);
                break;
            case pid::kAttachMethod:
                if (att) set32(att->method, v);
                break;
            case pid::kAttachLongFilename:
                if (att) str(att->longFileName, v);
                break;
            case pid::kRenderingPosition:
                if (att) set32(att->renderingPosition, v);
                break;
            case pid::kAttachMimeTag:
                if (att) detail(att->mimeTag, v);
                break;
            case pid::kProperty3710:
                if (att) set32(att->property3710, v);
                break;
            case pid::kAttachContentId:
                if (att) detail(att->contentId, v);
                break;
            case pid::kLtpRowId:
                if (att) set32(att->rowId, v);
                break;
            default:
                return false;
        }
        return true;
    }
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
