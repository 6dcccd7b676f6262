#include "writers/pst/sample_generator.h"

#include <array>

#include "message/property_tags.h"
#include "message/text.h"
#include "writers/pst/write_pst_file.h"

namespace brevik::pst {
namespace {

// Model ids of the named properties below.
constexpr std::uint16_t kEmail1Address = 0x8000;
constexpr std::uint16_t kEmail1DisplayName = 0x8001;
constexpr std::uint16_t kNoteColor = 0x8002;
constexpr std::uint16_t kSampleTag = 0x8003;

// 2024-01-01 00:00 UTC as a FILETIME, and one minute.
constexpr std::uint64_t kBaseTime = 133485408000000000ull;
constexpr std::uint64_t kMinute = 600000000ull;

struct Person {
    const char* name;
    const char* email;
};
constexpr Person kPeople[] = {
    {"Alice Lindqvist", "alice.lindqvist@example.com"},
    {"Bjorn Haugen", "bjorn@example.org"},
    {"Carmen Ortiz", "carmen.ortiz@example.net"},
    {"Dmitri Volkov", "d.volkov@example.com"},
    {"Emma Svensson", "emma.s@example.org"},
    {"Farid Haddad", "farid@example.net"},
    {"Grace Okafor", "grace.okafor@example.com"},
    {"Hiro Tanaka", "hiro.tanaka@example.org"},
};
constexpr const char* kTopics[] = {
    "Quarterly report", "Budget review",    "Team offsite",   "Server migration", "Invoice",
    "Project kickoff",  "Contract renewal", "Weekly summary", "Travel plans",     "Release notes"};
constexpr const char* kSentences[] = {
    "Please find the details below and let me know what you think.",
    "We agreed to move the deadline by one week to leave room for testing.",
    "The numbers for the last quarter look better than expected.",
    "Could you review the attached document before Friday?",
    "Thanks for the quick reply; the change is now in place.",
    "I have booked the room on the third floor for the meeting.",
    "Accents and symbols travel too: café, naïve, Ærø, Øresund, €.",
};
constexpr const char* kGivenNames[] = {"Anna", "Lars", "Maria", "Pekka", "Sofia", "Tomas"};
constexpr const char* kSurnames[] = {"Berg", "Nilsen", "Rossi", "Virtanen", "Keller", "Novak"};

template <typename T, std::size_t N>
const T& pick(const T (&list)[N], std::uint64_t r) {
    return list[r % N];
}

Property stringProperty(std::uint16_t id, const std::string& text) {
    return unicodeProperty(id, text);
}

// Deterministic attachment contents: text for .txt, a byte pattern otherwise.
Bytes attachmentBytes(std::uint64_t seed, std::size_t size, bool text) {
    Bytes data(size);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        data[i] = text ? static_cast<std::uint8_t>(i % 64 == 63 ? '\n' : 'a' + x % 26)
                       : static_cast<std::uint8_t>(x);
    }
    return data;
}

}  // namespace

SampleGenerator::SampleGenerator(const SampleOptions& options)
    : options_(options),
      total_(options.items + options.deleted + options.orphans),
      state_(options.seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}

std::uint64_t SampleGenerator::random() {
    // splitmix64: the same numbers on every platform.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Folder SampleGenerator::folderLayout() {
    Folder archive{"Archive 2024", "IPF.Note", {}, {}};
    Folder projects{"Projects", "IPF.Note", {}, {archive}};
    Folder inbox{"Inbox", "IPF.Note", {}, {projects}};
    Folder sent{"Sent Items", "IPF.Note", {}, {}};
    Folder contacts{"Contacts", "IPF.Contact", {}, {}};
    Folder notes{"Notes", "IPF.StickyNote", {}, {}};
    Folder top{"", "", {}, {inbox, sent, contacts, notes}};
    return top;
}

const std::vector<NamedProperty>& SampleGenerator::namedProperties() {
    static const std::vector<NamedProperty> table = {
        {kPsetidAddress, false, lid::kEmail1EmailAddress, ""},
        {kPsetidAddress, false, lid::kEmail1DisplayName, ""},
        {kPsetidNote, false, lid::kNoteColor, ""},
        {kPsPublicStrings, true, 0, "x-brevik-sample"},
    };
    return table;
}

Item SampleGenerator::mail(std::uint64_t n, bool deep) {
    Item item;
    auto& p = item.properties;
    const std::uint64_t r = random();
    const Person& sender = pick(kPeople, r);
    const std::string subject = std::string(pick(kTopics, r >> 8)) + " #" + std::to_string(n);
    const std::uint64_t when = kBaseTime + n * 7 * kMinute;
    p.push_back(stringProperty(pid::kMessageClass, "IPM.Note"));
    p.push_back(stringProperty(pid::kSubject, subject));
    p.push_back(stringProperty(pid::kConversationTopic, subject));
    p.push_back(int32Property(pid::kImportance, 1));
    p.push_back(int32Property(pid::kSensitivity, 0));
    p.push_back(stringProperty(pid::kSenderName, sender.name));
    p.push_back(stringProperty(pid::kSenderEmailAddress, sender.email));
    p.push_back(stringProperty(pid::kSenderAddressType, "SMTP"));
    p.push_back(stringProperty(pid::kSentRepresentingName, sender.name));
    p.push_back(stringProperty(pid::kSentRepresentingEmailAddress, sender.email));
    p.push_back(stringProperty(pid::kSentRepresentingAddressType, "SMTP"));
    p.push_back(timeProperty(pid::kClientSubmitTime, when));
    p.push_back(timeProperty(pid::kMessageDeliveryTime, when + kMinute));
    p.push_back(timeProperty(pid::kCreationTime, when + kMinute));
    p.push_back(timeProperty(pid::kLastModificationTime, when + 2 * kMinute));

    // Recipients: one To, up to two Cc, never the sender.
    std::string to, cc;
    const std::size_t count = 1 + (r >> 16) % 3;
    for (std::size_t k = 0; k < count; ++k) {
        const Person& who = kPeople[(r + 1 + k) % std::size(kPeople)];
        const bool isTo = k == 0;
        Recipient rec;
        rec.properties = {stringProperty(pid::kDisplayName, who.name),
                          stringProperty(pid::kAddressType, "SMTP"),
                          stringProperty(pid::kEmailAddress, who.email),
                          stringProperty(pid::kAddressBookDisplayNamePrintable, who.name),
                          int32Property(pid::kRecipientType, isTo ? 1 : 2),
                          int32Property(pid::kObjectType, 6),
                          int32Property(pid::kDisplayType, 0)};
        item.recipients.push_back(std::move(rec));
        std::string& line = isTo ? to : cc;
        line += (line.empty() ? "" : "; ") + std::string(who.name);
    }
    p.push_back(stringProperty(pid::kDisplayTo, to));
    p.push_back(stringProperty(pid::kDisplayCc, cc));

    // Bodies: most short, every ninth long enough to need a subnode.
    std::string body;
    const std::size_t sentences = n % 9 == 4 ? 120 : 2 + (r >> 24) % 6;
    for (std::size_t k = 0; k < sentences; ++k)
        body += std::string(pick(kSentences, (r >> 32) + k)) + (k % 3 == 2 ? "\r\n" : " ");
    p.push_back(stringProperty(pid::kBody, body));
    if (n % 2 == 0) {
        const std::string html =
            "<html><body><p>" + subject + "</p><p>" + body + "</p></body></html>";
        p.push_back(binaryProperty(pid::kHtml, Bytes(html.begin(), html.end())));
        p.push_back(int32Property(pid::kInternetCodepage, 65001));
    }
    p.push_back(stringProperty(kSampleTag, "sample " + std::to_string(n)));

    // Attachments of several sizes, some over one block so that data trees are used.
    static constexpr std::size_t kSizes[] = {700, 2000, 4000, 9000, 30000};
    const std::size_t attachments = (r >> 40) % 4 == 0 ? 0 : (r >> 44) % 3;
    for (std::size_t k = 0; k < attachments; ++k) {
        const bool text = (n + k) % 2 == 0;
        const bool large = n % 5000 == 13 && k == 0;  // rarely: a two-level data tree
        const std::size_t size = large ? 9000000 : kSizes[(r >> (48 + 2 * k)) % std::size(kSizes)];
        const std::string name =
            "file-" + std::to_string(n) + "-" + std::to_string(k + 1) + (text ? ".txt" : ".bin");
        Attachment a;
        a.properties = {
            stringProperty(pid::kAttachFilename, name),
            stringProperty(pid::kAttachLongFilename, name),
            stringProperty(pid::kAttachMimeTag, text ? "text/plain" : "application/octet-stream"),
            int32Property(pid::kRenderingPosition, 0xFFFFFFFF)};
        a.data = attachmentBytes(options_.seed * 1000003 + n * 7 + k, size, text);
        item.attachments.push_back(std::move(a));
    }
    // Now and then a forwarded message as an embedded item.
    if (deep && n % 25 == 7) {
        Attachment a;
        a.properties = {stringProperty(pid::kDisplayName, "Forwarded: " + subject),
                        stringProperty(pid::kAttachLongFilename, "Forwarded.msg")};
        a.embedded = std::make_shared<Item>(mail(n + 1000000, false));
        item.attachments.push_back(std::move(a));
    }
    p.push_back(int32Property(pid::kMessageFlags,
                              (n % 2 == 0 ? 0x1 : 0x0) | (item.attachments.empty() ? 0 : 0x10)));
    p.push_back(
        int32Property(pid::kMessageSize, static_cast<std::uint32_t>(body.size() * 2 + 1024)));
    return item;
}

Item SampleGenerator::contact(std::uint64_t n) {
    Item item;
    auto& p = item.properties;
    const std::uint64_t r = random();
    const std::string given = pick(kGivenNames, r), surname = pick(kSurnames, r >> 8);
    const std::string full = given + " " + surname;
    const std::string email = given + "." + surname + std::to_string(n) + "@example.com";
    p.push_back(stringProperty(pid::kMessageClass, "IPM.Contact"));
    p.push_back(stringProperty(pid::kSubject, full));
    p.push_back(stringProperty(pid::kDisplayName, full));
    p.push_back(stringProperty(pid::kGivenName, given));
    p.push_back(stringProperty(pid::kSurname, surname));
    p.push_back(stringProperty(pid::kCompanyName, "Example Trading AB"));
    p.push_back(stringProperty(pid::kBusinessTelephoneNumber,
                               "+46 8 555 0" + std::to_string(100 + n % 900)));
    p.push_back(stringProperty(kEmail1Address, email));
    p.push_back(stringProperty(kEmail1DisplayName, full + " (" + email + ")"));
    p.push_back(timeProperty(pid::kCreationTime, kBaseTime + n * kMinute));
    p.push_back(int32Property(pid::kMessageFlags, 0x1));
    return item;
}

Item SampleGenerator::note(std::uint64_t n) {
    Item item;
    auto& p = item.properties;
    const std::uint64_t r = random();
    const std::string title = "Note " + std::to_string(n) + ": " + pick(kTopics, r);
    p.push_back(stringProperty(pid::kMessageClass, "IPM.StickyNote"));
    p.push_back(stringProperty(pid::kSubject, title));
    p.push_back(stringProperty(pid::kBody, title + "\r\n" + pick(kSentences, r >> 8)));
    p.push_back(int32Property(kNoteColor, static_cast<std::uint32_t>(r % 5)));
    p.push_back(timeProperty(pid::kCreationTime, kBaseTime + n * kMinute));
    p.push_back(int32Property(pid::kMessageFlags, 0x1));
    return item;
}

namespace {

constexpr const char* kHostileFolderName = "Projects\x1b]0;owned\x07 \u202Etxt.exe";

void replaceProperty(PropertyList& list, Property p) {
    std::erase_if(list, [&](const Property& q) { return q.id == p.id; });
    list.push_back(std::move(p));
}

// Texts that would retitle a terminal, forge a line, add headers to an exported message, or make
// a file name read backwards.
void addHostileTexts(Item& item, std::uint64_t n) {
    auto& p = item.properties;
    const std::string number = std::to_string(n);
    replaceProperty(
        p, stringProperty(pid::kSubject, "Invoice\x1b]0;owned\x07\r\nForged: line #" + number));
    replaceProperty(p, stringProperty(pid::kSenderName, "Mallory \u202Efdp.exe"));
    replaceProperty(p, stringProperty(pid::kSentRepresentingName, "Mallory \u202Efdp.exe"));
    replaceProperty(p,
                    stringProperty(pid::kInternetMessageId,
                                   "<id-" + number + "@example.com>\r\nBcc: victim@example.com"));
    replaceProperty(p, stringProperty(pid::kInReplyToId, "<prev@example.com>\r\nX-Injected: yes"));
    Attachment a;
    a.properties = {stringProperty(pid::kAttachLongFilename, "invoice\u202Efdp.exe"),
                    stringProperty(pid::kAttachMimeTag, "text/plain\r\nX-Evil: 1"),
                    stringProperty(pid::kAttachContentId, "<c@example.com>\r\nX-Cid: 1"),
                    int32Property(pid::kRenderingPosition, 0xFFFFFFFF)};
    const std::string data = "hostile attachment " + number + "\n";
    a.data.assign(data.begin(), data.end());
    item.attachments.push_back(std::move(a));
}

}  // namespace

SampleItem SampleGenerator::next() {
    SampleItem s = nextItem();
    if (options_.hostileTexts && s.folder != SampleFolder::Contacts &&
        s.folder != SampleFolder::Notes)
        addHostileTexts(s.item, produced_);
    return s;
}

SampleItem SampleGenerator::nextItem() {
    const std::uint64_t n = produced_++;
    SampleItem s;
    if (n >= options_.items) {
        s.placement = n >= options_.items + options_.deleted ? SamplePlacement::Orphan
                                                             : SamplePlacement::Deleted;
        s.folder = SampleFolder::Inbox;
        s.item = mail(n, true);
        return s;
    }
    // Every run of ten items touches every folder.
    static constexpr SampleFolder kCycle[10] = {SampleFolder::Inbox,     SampleFolder::SentItems,
                                                SampleFolder::Contacts,  SampleFolder::Notes,
                                                SampleFolder::Inbox,     SampleFolder::Projects,
                                                SampleFolder::Inbox,     SampleFolder::Archive,
                                                SampleFolder::SentItems, SampleFolder::Inbox};
    s.folder = kCycle[n % 10];
    if (s.folder == SampleFolder::Contacts)
        s.item = contact(n);
    else if (s.folder == SampleFolder::Notes)
        s.item = note(n);
    else
        s.item = mail(n, true);
    return s;
}

WriteStatus generateSamplePst(const std::string& path, const SampleOptions& options,
                              PstWriteStats* stats) {
    PstWriterOptions writerOptions;
    writerOptions.permute = options.permute;
    writerOptions.cyclic = options.cyclic;
    writerOptions.pages4k = options.pages4k;
    writerOptions.maxFileBytes = options.maxFileBytes;
    writerOptions.stop = options.stop;
    writerOptions.displayName = "Brevik sample";
    return writePstFile(
        path, options.tempFolder, writerOptions,
        [&](PstWriter& w) {
            w.setNamedProperties(SampleGenerator::namedProperties());
            std::vector<FolderId> ids;
            Folder layout = SampleGenerator::folderLayout();
            if (options.hostileTexts)
                layout.children.at(0).children.at(0).displayName = kHostileFolderName;
            for (const Folder& f : layout.children) {
                const auto added = w.addFolderTree(kTopOfPersonalFolders, f);
                ids.insert(ids.end(), added.begin(), added.end());
            }
            if (ids.size() != 6) return false;
            // Pre-order: Inbox, Projects, Archive, Sent Items, Contacts, Notes.
            SampleGenerator gen(options);
            int lastPercent = -1;
            for (std::uint64_t k = 0; !gen.done(); ++k) {
                SampleItem s = gen.next();
                const FolderId folder = ids[static_cast<std::size_t>(s.folder)];
                bool ok = false;
                if (s.placement == SamplePlacement::Live)
                    ok = w.addItem(folder, s.item);
                else if (s.placement == SamplePlacement::Deleted)
                    ok = w.addDeletedItem(folder, s.item);
                else
                    ok = w.addOrphanItem(w.unusedFolderNid(), s.item);
                if (!ok) return false;
                const int percent = static_cast<int>((k + 1) * 100 / gen.total());
                if (options.progress && percent != lastPercent) options.progress(percent);
                lastPercent = percent;
            }
            return true;
        },
        stats);
}

std::string sampleText(const PropertyList& props, std::uint16_t id) {
    const Property* p = findProperty(props, id);
    if (!p || p->type != ptypes::kUnicode) return {};
    return utf16ToUtf8(p->value.data(), p->value.size());
}

}  // namespace brevik::pst
