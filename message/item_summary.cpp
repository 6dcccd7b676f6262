#include "message/item_summary.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "engine/filetime.h"
#include "engine/message_base.h"
#include "engine/native_files.h"
#include "engine/ndb_format.h"
#include "engine/per_thread.h"
#include "message/class_prefix.h"
#include "message/interpret_properties.h"
#include "message/records.h"
#include "message/rtf_decompress.h"
#include "message/rtf_text.h"
#include "message/text.h"

namespace brevik {
namespace {

// Appends the well-formed UTF-8 sequence at s[i], or U+FFFD for one bad byte; returns the
// number of bytes consumed.
std::size_t appendValidUtf8(std::string& out, std::string_view s, std::size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    std::uint32_t min = 0;
    if (b < 0x80) {
        out.push_back(s[i]);
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, min = 0x10000;
    }
    if (n != 0 && i + n <= s.size()) {
        std::uint32_t c = b & (0x7F >> n);
        bool ok = true;
        for (std::size_t k = 1; k < n && ok; ++k) {
            const auto cont = static_cast<unsigned char>(s[i + k]);
            ok = (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3F);
        }
        if (ok && c >= min && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
            out.append(s.substr(i, n));
            return n;
        }
    }
    out.append("\xEF\xBF\xBD");
    return 1;
}

// A slot as display text: up to its first zero (binary slots such as search keys end in one),
// with anything that is not UTF-8 replaced.
std::string cleanText(std::string_view s) {
    s = s.substr(0, s.find('\0'));
    if (isWellFormedUtf8(s)) return std::string(s);  // as nearly all texts are
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();)
        i += appendValidUtf8(out, s, i);
    return out;
}
std::string displayText(const StringSlot& slot) {
    return slot ? cleanText(*slot) : std::string();
}

// The first of the slots that holds some text.
std::string firstText(std::initializer_list<const StringSlot*> slots) {
    for (const StringSlot* slot : slots) {
        std::string text = displayText(*slot);
        if (!text.empty()) return text;
    }
    return {};
}

// Delivery or submit time, the later when both are known; else creation or modification time.
std::optional<std::uint64_t> shownTime(const MessageRecord& r) {
    const MessageEnvelope& env = r.envelope;
    if (env.deliveryTime && env.clientSubmitTime)
        return std::max(*env.deliveryTime, *env.clientSubmitTime);
    if (env.deliveryTime) return env.deliveryTime;
    if (env.clientSubmitTime) return env.clientSubmitTime;
    if (r.creationTime) return r.creationTime;
    return r.lastModificationTime;
}

}  // namespace

std::string attachmentName(const AttachmentRecord& a) {
    std::string name = firstText({&a.longFileName, &a.fileName, &a.displayName});
    if (name.empty()) name = classPrefixString(25).value_or(std::string());
    return name;
}

FormattedTime formatItemTime(std::uint64_t utcFiletime) {
    const std::int64_t seconds =
        static_cast<std::int64_t>(utcFiletime / filetime::kTicksPerSecond) -
        filetime::kUnixEpochSeconds;
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    long zoneOffset = 0;  // seconds east of UTC
    if (!native::localTime(t, local, zoneOffset)) return {std::string(), utcFiletime};

    // The locale's short date is what the list shows, two-digit years included. Items of one
    // day usually follow each other, so each thread keeps the last day's text.
    thread_local int lastYear = -1, lastYearDay = -1;
    std::string& lastDate = perThread<std::string, struct LastDateTag>();
    if (local.tm_year != lastYear || local.tm_yday != lastYearDay) {
        lastDate = native::shortDate(local);
        lastYear = local.tm_year;
        lastYearDay = local.tm_yday;
    }
    // "%H:%M", which no locale changes.
    const char clock[] = {static_cast<char>('0' + local.tm_hour / 10),
                          static_cast<char>('0' + local.tm_hour % 10), ':',
                          static_cast<char>('0' + local.tm_min / 10),
                          static_cast<char>('0' + local.tm_min % 10)};
    std::string text;
    text.reserve(lastDate.size() + 1 + sizeof clock);
    text.append(lastDate).append(1, ' ').append(clock, sizeof clock);

    // Shift by the zone offset in effect at that moment, staying inside the FILETIME range.
    const std::int64_t offset = static_cast<std::int64_t>(zoneOffset) *
                                static_cast<std::int64_t>(filetime::kTicksPerSecond);
    std::uint64_t localFiletime = utcFiletime;
    if (offset < 0) {
        const auto back = static_cast<std::uint64_t>(-offset);
        localFiletime = utcFiletime > back ? utcFiletime - back : 0;
    } else {
        const auto ahead = static_cast<std::uint64_t>(offset);
        const std::uint64_t room = std::numeric_limits<std::uint64_t>::max() - utcFiletime;
        localFiletime =
            ahead < room ? utcFiletime + ahead : std::numeric_limits<std::uint64_t>::max();
    }
    return {std::move(text), localFiletime};
}

namespace {

// chooseItemBody leaving the text where it is: `text` views the record's body, or `rtfText`
// for one from compressed RTF. A summary needs little more than the text's length, and bodies
// are most of what an item holds.
ItemBody chooseBodyInPlace(const MessageRecord& r, std::string& rtfText, std::string_view& text) {
    const MessageEnvelope& env = r.envelope;
    ItemBody b;
    text = {};
    if (env.html && !env.html->empty()) {
        b.format = 1;
        b.ref = env.htmlLocator;
        text = *env.html;
        b.codepage = r.htmlCodepage ? r.htmlCodepage : kDefaultCodepage;
    } else if (env.body && !env.body->empty()) {
        b.format = 3;
        b.ref = env.bodyLocator;
        text = *env.body;
        b.codepage = r.codepage ? r.codepage : kDefaultCodepage;
    } else if (env.compressedRtf && !env.compressedRtf->empty()) {
        // Often the only body Outlook kept.
        const DecompressedRtf rtf = decompressRtf(*env.compressedRtf);
        RtfBody shown = rtfToBody(rtf.rtf);
        if (shown.text.find_first_not_of(" \t\r\n") == std::string::npos) return b;
        b.format = shown.isHtml() ? 1 : 3;
        b.ref = env.compressedRtfLocator;
        rtfText = std::move(shown.text);
        text = rtfText;
        b.fromRtf = true;
        b.rtfDamaged = rtf.damaged();
    }
    return b;
}

}  // namespace

ItemBody chooseItemBody(const MessageRecord& r) {
    std::string rtfText;
    std::string_view text;
    ItemBody b = chooseBodyInPlace(r, rtfText, text);
    b.text = rtfText.empty() ? std::string(text) : std::move(rtfText);
    return b;
}

void SummaryRows::clearRows() {
    itemSummaries.clear();
    itemSummaries.shrink_to_fit();
    summaryCounter = 0;
    keptBodyBytes = 0;
}

void buildItemSummary(const MessageBase& base, SummaryRows& rows, std::uint32_t itemIndex) {
    placeItemSummary(rows, itemIndex, summariseItem(base, rows, itemIndex));
}

SummaryPlace summariseItem(const MessageBase& base, SummaryRows& rows, std::uint32_t itemIndex) {
    if (itemIndex >= base.messageEntries.size() || itemIndex >= rows.itemSummaries.size())
        return {};
    const MessageNodeEntry& entry = base.messageEntries[itemIndex];
    ItemSummary& s = rows.itemSummaries[itemIndex];
    s = ItemSummary{};
    if (!entry.record) return {};
    SummaryPlace place{true, false};
    const MessageRecord& r = *entry.record;
    const MessageEnvelope& env = r.envelope;

    if (r.kind == item_kind::kContact) {
        s.subjectText = displayText(r.displayName);
        s.fromText = s.subjectText;
    } else {
        s.subjectText = env.subject ? cleanText(env.subject->text) : std::string();
        if (s.subjectText.empty()) s.subjectText = displayText(env.conversationTopic);
        s.fromText = firstText({&env.sentRepresentingName, &env.sentRepresentingEmailAddress,
                                &env.senderEmailAddress});
        s.toText = firstText({&env.displayTo, &env.receivedBySearchKey, &env.receivedByEmailAddress,
                              &env.receivedRepresentingEmailAddress});
    }

    if (const auto utc = shownTime(r)) {
        const FormattedTime shown = formatItemTime(*utc);
        s.dateText = shown.text;
        s.sortTime = shown.localFiletime;
        s.utcTime = *utc;
    }

    s.kind = static_cast<std::uint8_t>(r.kind);
    if (r.messageClass) {
        s.messageClass = displayText(r.messageClass);
        s.type = itemTypeOf(s.messageClass);
    }
    const bool noContent = !env.html && !env.body && !env.transportMessageHeaders;
    // Folder-associated items (views, rules, free/busy, settings) are hidden like system items,
    // whatever class they claim and whatever they carry: no user filed them.
    s.associated = ndb::nidType(entry.nodeId) == ndb::kNidTypeAssociatedMessage;
    if (s.associated) {
        s.hiddenCode = 201;
    } else if (r.kind == item_kind::kSystem) {
        if (noContent) s.hiddenCode = 201;
    } else {
        place.counted = true;
    }
    s.deletedMark = entry.reachable == 0 ? 1 : 0;

    const std::size_t attachments =
        std::min<std::size_t>({entry.attachmentCount, r.attachments.size(),
                               static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())});
    s.attachmentCount = static_cast<std::int16_t>(attachments);
    s.attachmentNames.reserve(attachments);
    for (std::size_t k = 0; k < attachments; ++k)
        s.attachmentNames.push_back(attachmentName(r.attachments[k]));

    std::string rtfText;
    std::string_view text;
    const ItemBody body = chooseBodyInPlace(r, rtfText, text);
    s.bodyFormat = body.format;
    s.bodyRef = body.ref;
    s.bodyCodepage = body.codepage;
    s.bodyFromRtf = body.fromRtf;
    s.rtfDamaged = body.rtfDamaged;
    s.bodyLength = static_cast<std::uint32_t>(
        std::min<std::size_t>(text.size() + 1, std::numeric_limits<std::uint32_t>::max()));
    if (rows.keepBodyCopies && text.size() <= kMaxKeptBodyBytes) s.bodyText.assign(text);
    return place;
}

void placeItemSummary(SummaryRows& rows, std::uint32_t itemIndex, SummaryPlace place) {
    if (!place.numbered || itemIndex >= rows.itemSummaries.size()) return;
    ItemSummary& s = rows.itemSummaries[itemIndex];
    if (place.counted) ++rows.summaryCounter;
    s.number = rows.summaryCounter;
    // Copies stay within a budget per base, so a mailbox of a million large messages does not
    // hold every body in memory; a body left out is read again through `bodyRef`.
    if (s.bodyText.empty()) return;
    if (rows.keptBodyBytes + s.bodyText.size() <= kKeptBodyBudgetBytes)
        rows.keptBodyBytes += s.bodyText.size();
    else
        std::string().swap(s.bodyText);
}

}  // namespace brevik
