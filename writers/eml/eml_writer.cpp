#include "writers/eml/eml_writer.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>

#include "engine/filetime.h"
#include "message/rtf_decompress.h"
#include "message/rtf_text.h"
#include "writers/files/header_values.h"
#include "writers/files/item_fields.h"
#include "writers/files/output_names.h"

namespace brevik::eml {
namespace {

using files::ItemFields;

constexpr int kMaxDepth = 16;
constexpr std::uint32_t kAttachByValue = 1;
constexpr std::uint32_t kAttachOle = 6;

struct Unref {
    void operator()(gpointer p) const {
        if (p) g_object_unref(p);
    }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref>;

void initGmime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

std::string toLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// An SMTP address among the given properties, or empty.
std::string smtpAddress(const ItemFields& f, std::initializer_list<std::uint16_t> smtpIds,
                        std::uint16_t typeId, std::uint16_t addressId) {
    for (std::uint16_t id : smtpIds)
        if (auto a = f.nonEmpty(id); a && a->find('@') != std::string::npos) return *a;
    const std::string type = toLower(f.text(typeId).value_or(""));
    auto address = f.nonEmpty(addressId);
    if (address && (type.empty() || type == "smtp") && address->find('@') != std::string::npos)
        return *address;
    return {};
}

// A mailbox needs an address: one known only by name, or by an Exchange (X.500) address that
// means nothing outside its organisation, gets a placeholder in the reserved ".invalid" domain.
constexpr const char* kNoAddress = "unknown@unknown.invalid";

void addMailbox(InternetAddressList* list, const std::string& name, const std::string& address) {
    const std::string shownName = files::headerText(name);
    const std::string bareAddress = files::headerText(address);
    GPtr<InternetAddress> a(internet_address_mailbox_new(
        shownName.c_str(), bareAddress.empty() ? kNoAddress : bareAddress.c_str()));
    internet_address_list_add(list, a.get());
}

// Headers the item's transport headers do not carry, from its properties.
void setEnvelope(GMimeMessage* m, const pst::Item& item, const ItemFields& f) {
    GMimeObject* obj = GMIME_OBJECT(m);
    GMimeHeaderList* headers = g_mime_object_get_header_list(obj);
    // A new message lists the common headers empty, to keep their order: only values count.
    auto has = [&](const char* name) {
        GMimeHeader* h = g_mime_header_list_get_header(headers, name);
        const char* value = h ? g_mime_header_get_value(h) : nullptr;
        return value && *value;
    };

    if (!has("From")) {
        const std::string address =
            smtpAddress(f, {pid::kSentRepresentingSmtpAddress, pid::kSenderSmtpAddress},
                        pid::kSentRepresentingAddressType, pid::kSentRepresentingEmailAddress);
        const std::string fallback =
            address.empty() ? smtpAddress(f, {}, pid::kSenderAddressType, pid::kSenderEmailAddress)
                            : address;
        std::string name = f.nonEmpty(pid::kSentRepresentingName)
                               .value_or(f.nonEmpty(pid::kSenderName).value_or(""));
        if (!name.empty() || !fallback.empty())
            addMailbox(g_mime_message_get_from(m), name == fallback ? "" : name, fallback);
    }
    if (!has("To") && !has("Cc") && !has("Bcc")) {
        for (const pst::Recipient& r : item.recipients) {
            const ItemFields rf(r.properties, f.codepage());
            const std::uint32_t type = rf.int32(pid::kRecipientType).value_or(1) & 0xF;
            const GMimeAddressType t = type == 2   ? GMIME_ADDRESS_TYPE_CC
                                       : type == 3 ? GMIME_ADDRESS_TYPE_BCC
                                                   : GMIME_ADDRESS_TYPE_TO;
            const std::string address =
                smtpAddress(rf, {pid::kSmtpAddress}, pid::kAddressType, pid::kEmailAddress);
            std::string name = rf.nonEmpty(pid::kDisplayName).value_or("");
            if (name.empty() && address.empty()) continue;
            addMailbox(g_mime_message_get_addresses(m, t), name == address ? "" : name, address);
        }
    }
    if (!has("Subject")) {
        const std::string subject = files::headerText(f.subject());
        if (!subject.empty()) g_mime_message_set_subject(m, subject.c_str(), "utf-8");
    }
    if (!has("Date")) {
        auto t = f.time(pid::kClientSubmitTime);
        if (!t) t = f.time(pid::kMessageDeliveryTime);
        if (!t) t = f.time(pid::kCreationTime);
        if (t && *t >= filetime::kUnixEpochTicks) {
            GDateTime* d =
                g_date_time_new_from_unix_utc(static_cast<gint64>(filetime::unixSeconds(*t)));
            if (d) {
                g_mime_message_set_date(m, d);
                g_date_time_unref(d);
            }
        }
    }
    if (!has("Message-ID"))
        if (auto id = files::headerId(f.nonEmpty(pid::kInternetMessageId).value_or(""))) {
            std::string bare = *id;
            if (bare.size() > 2 && bare.front() == '<' && bare.back() == '>')
                bare = bare.substr(1, bare.size() - 2);
            g_mime_message_set_message_id(m, bare.c_str());
        }
    if (!has("In-Reply-To"))
        if (auto v = files::headerIdList(f.nonEmpty(pid::kInReplyToId).value_or("")))
            g_mime_object_set_header(obj, "In-Reply-To", v->c_str(), nullptr);
    if (!has("References"))
        if (auto v = files::headerIdList(f.nonEmpty(pid::kInternetReferences).value_or("")))
            g_mime_object_set_header(obj, "References", v->c_str(), nullptr);
}

// A message whose headers are the item's transport headers, without those that described the
// original body; a fresh message when there are none or they cannot be parsed.
GPtr<GMimeMessage> messageWithHeaders(const ItemFields& f) {
    auto raw = f.nonEmpty(pid::kTransportMessageHeaders);
    if (raw) {
        std::string text = *raw;
        // Only the header block: anything after its first empty line is not ours to keep.
        for (const char* end : {"\r\n\r\n", "\n\n"})
            if (const std::size_t p = text.find(end); p != std::string::npos) text.resize(p);
        text += "\r\n\r\n";
        GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
        GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
        GPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
        if (parsed) {
            GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(parsed.get()));
            for (int i = g_mime_header_list_get_count(headers) - 1; i >= 0; --i) {
                const std::string name =
                    toLower(g_mime_header_get_name(g_mime_header_list_get_header_at(headers, i)));
                if (name.starts_with("content-") || name == "mime-version")
                    g_mime_header_list_remove_at(headers, i);
            }
            return parsed;
        }
    }
    return GPtr<GMimeMessage>(g_mime_message_new(TRUE));
}

// A UTF-8 text part. (GMime's own setter would re-encode the text in the smallest charset.)
GPtr<GMimeObject> textPart(const char* subtype, const std::string& text) {
    GMimeTextPart* part = g_mime_text_part_new_with_subtype(subtype);
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(GMIME_PART(part), wrapper.get());
    g_mime_text_part_set_charset(part, "utf-8");
    g_mime_part_set_content_encoding(
        GMIME_PART(part),
        g_mime_part_get_best_content_encoding(GMIME_PART(part), GMIME_ENCODING_CONSTRAINT_7BIT));
    return GPtr<GMimeObject>(GMIME_OBJECT(part));
}

GPtr<GMimeObject> multipart(const char* subtype, std::vector<GPtr<GMimeObject>>& parts) {
    if (parts.size() == 1) return std::move(parts.front());
    GMimeMultipart* mp = g_mime_multipart_new_with_subtype(subtype);
    for (auto& p : parts)
        g_mime_multipart_add(mp, p.get());
    return GPtr<GMimeObject>(GMIME_OBJECT(mp));
}

enum class ContentFit { SevenBit, EightBit, Binary };

// How `data` can travel unencoded: lines of at most 998 octets without NUL or lone CR.
ContentFit contentFit(const Bytes& data) {
    constexpr std::size_t kMaxLine = 998;
    bool eightBit = false;
    std::size_t line = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::uint8_t b = data[i];
        if (b == '\n') {
            line = 0;
            continue;
        }
        if (b == 0 || (b == '\r' && (i + 1 >= data.size() || data[i + 1] != '\n')))
            return ContentFit::Binary;
        if (b != '\r' && ++line > kMaxLine) return ContentFit::Binary;
        eightBit = eightBit || b >= 0x80;
    }
    return eightBit ? ContentFit::EightBit : ContentFit::SevenBit;
}

struct AttachmentInfo {
    const pst::Attachment* attachment;
    std::string name;
    std::string mimeType;
    std::string contentId;
};

GPtr<GMimeObject> filePart(const AttachmentInfo& a, bool inlined) {
    const std::string type = files::mimeType(a.mimeType);
    const std::string major = type.substr(0, type.find('/'));
    const std::string minor = type.substr(type.find('/') + 1);
    const Bytes& data = a.attachment->data;
    // RFC 2046 allows message/* bodies no encoding but 7bit, 8bit or binary: one that does not
    // fit in 7bit or 8bit lines goes as plain bytes.
    const ContentFit fit = major == "message" ? contentFit(data) : ContentFit::Binary;
    const bool asIs = major == "message" && fit != ContentFit::Binary;
    GMimePart* part = major == "message" && !asIs
                          ? g_mime_part_new_with_type("application", "octet-stream")
                          : g_mime_part_new_with_type(major.c_str(), minor.c_str());
    GPtr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(reinterpret_cast<const char*>(data.data()), data.size()));
    GPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, wrapper.get());
    g_mime_part_set_content_encoding(part, !asIs ? GMIME_CONTENT_ENCODING_BASE64
                                           : fit == ContentFit::SevenBit
                                               ? GMIME_CONTENT_ENCODING_7BIT
                                               : GMIME_CONTENT_ENCODING_8BIT);
    g_mime_part_set_filename(part, files::headerText(a.name).c_str());
    g_mime_object_set_disposition(GMIME_OBJECT(part), inlined ? "inline" : "attachment");
    if (auto id = files::headerId(a.contentId)) g_mime_part_set_content_id(part, id->c_str());
    return GPtr<GMimeObject>(GMIME_OBJECT(part));
}

GPtr<GMimeMessage> buildMessage(const pst::Item& item, int depth, const std::string& calendar = {});

GPtr<GMimeObject> embeddedPart(const pst::Item& inner, const std::string& name, int depth) {
    GPtr<GMimeMessage> message = buildMessage(inner, depth + 1);
    GMimeMessagePart* part = g_mime_message_part_new_with_message("rfc822", message.get());
    GPtr<GMimeContentDisposition> disposition(g_mime_content_disposition_new());
    g_mime_content_disposition_set_disposition(disposition.get(), "attachment");
    g_mime_content_disposition_set_parameter(disposition.get(), "filename",
                                             files::headerText(name).c_str());
    g_mime_object_set_content_disposition(GMIME_OBJECT(part), disposition.get());
    return GPtr<GMimeObject>(GMIME_OBJECT(part));
}

// The meeting's calendar as text/calendar with the METHOD it names.
GPtr<GMimeObject> calendarPart(const std::string& calendar) {
    GPtr<GMimeObject> part = textPart("calendar", calendar);
    const std::size_t at = calendar.find("METHOD:");
    if (at != std::string::npos) {
        const std::size_t end = calendar.find_first_of("\r\n", at);
        const std::string method =
            calendar.substr(at + 7, end == std::string::npos ? end : end - at - 7);
        g_mime_object_set_content_type_parameter(part.get(), "method", method.c_str());
    }
    return part;
}

GPtr<GMimeMessage> buildMessage(const pst::Item& item, int depth, const std::string& calendar) {
    const ItemFields f(item.properties);
    GPtr<GMimeMessage> message = messageWithHeaders(f);
    setEnvelope(message.get(), item, f);

    std::optional<std::string> body = f.text(pid::kBody);
    std::optional<std::string> html = f.html();
    // Outlook often keeps a body only as compressed RTF: unwrap it into what it wraps.
    if (!body && !html) {
        if (const Bytes* rtf = f.binary(pid::kRtfCompressed); rtf && !rtf->empty()) {
            const RtfBody decoded = rtfToBody(decompressRtf(*rtf).rtf);
            if (!decoded.text.empty()) (decoded.isHtml() ? html : body) = decoded.text;
        }
    }
    const std::string htmlLower = html ? toLower(*html) : std::string();

    std::vector<AttachmentInfo> related, attached;
    std::vector<GPtr<GMimeObject>> embedded;
    for (const pst::Attachment& a : item.attachments) {
        const ItemFields af(a.properties, f.codepage());
        AttachmentInfo info{&a,
                            {},
                            af.nonEmpty(pid::kAttachMimeTag).value_or(""),
                            af.nonEmpty(pid::kAttachContentId).value_or("")};
        std::string name =
            af.nonEmpty(pid::kAttachLongFilename)
                .value_or(af.nonEmpty(pid::kAttachFilename)
                              .value_or(af.nonEmpty(pid::kDisplayName).value_or("")));
        const std::uint32_t method = af.int32(pid::kAttachMethod).value_or(kAttachByValue);
        if (a.embedded && depth < kMaxDepth) {
            const ItemFields inner(a.embedded->properties);
            if (name.empty()) name = inner.subject();
            name = files::attachmentFileName(name);
            if (!name.ends_with(".eml")) name += ".eml";
            embedded.push_back(embeddedPart(*a.embedded, name, depth));
            continue;
        }
        if (method != kAttachByValue && method != kAttachOle && a.data.empty()) continue;
        info.name = files::attachmentFileName(name);
        const bool referenced =
            html && !info.contentId.empty() &&
            htmlLower.find("cid:" + toLower(info.contentId)) != std::string::npos;
        (referenced ? related : attached).push_back(std::move(info));
    }

    // Bodies: text and HTML as alternatives, the HTML with the images it shows.
    std::vector<GPtr<GMimeObject>> alternatives;
    if (body) alternatives.push_back(textPart("plain", *body));
    if (html) {
        std::vector<GPtr<GMimeObject>> parts;
        parts.push_back(textPart("html", *html));
        for (const AttachmentInfo& a : related)
            parts.push_back(filePart(a, true));
        GPtr<GMimeObject> rel = multipart("related", parts);
        if (GMIME_IS_MULTIPART(rel.get()))
            g_mime_object_set_content_type_parameter(rel.get(), "type", "text/html");
        alternatives.push_back(std::move(rel));
    } else {
        attached.insert(attached.end(), related.begin(), related.end());
    }
    if (alternatives.empty()) alternatives.push_back(textPart("plain", ""));
    if (!calendar.empty()) alternatives.push_back(calendarPart(calendar));

    std::vector<GPtr<GMimeObject>> mixed;
    mixed.push_back(multipart("alternative", alternatives));
    for (const AttachmentInfo& a : attached)
        mixed.push_back(filePart(a, false));
    for (auto& e : embedded)
        mixed.push_back(std::move(e));
    GPtr<GMimeObject> top = multipart("mixed", mixed);
    g_mime_message_set_mime_part(message.get(), top.get());
    return message;
}

}  // namespace

std::string writeEml(const pst::Item& item, const EmlOptions& options) {
    initGmime();
    GPtr<GMimeMessage> message = buildMessage(item, 0, options.calendar);
    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(
        format, options.crlf ? GMIME_NEWLINE_FORMAT_DOS : GMIME_NEWLINE_FORMAT_UNIX);
    g_mime_format_options_set_param_encoding_method(format, GMIME_PARAM_ENCODING_METHOD_RFC2231);
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), format, out.get());
    g_mime_format_options_free(format);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

}  // namespace brevik::eml
