// Every mail, contact and note item that pffexport or readpst finds in a sample file must be
// found by our pass too, and what pffexport recovers as deleted must carry our deleted mark.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "cli/recovery_view.h"
#include "message/item_summary.h"
#include "recovery/recovery_pass.h"
#include "support/corpus.h"
#include "support/damage.h"
#include "support/peer_tools.h"
#include "writers/pst/sample_generator.h"
#include "writers/pst/save_task.h"

namespace brevik {
namespace {

using test::OurItem;
using test::PeerItem;
using test::PeerKind;
namespace fs = std::filesystem;

constexpr std::uint64_t kSecond = 10000000;
constexpr std::uint64_t kMarch15 = 129131467250000000;  // 2010-03-15 17:12:05 UTC

// ---------------------------------------------------------------- parsing the peers' output

TEST(PeerParsing, MailDatesWithZonesBecomeUtc) {
    EXPECT_EQ(test::parseMailDate("Mon, 15 Mar 2010 10:12:05 -0700"), kMarch15);
    EXPECT_EQ(test::parseMailDate("15 Mar 2010 17:12:05 +0000"), kMarch15);
    EXPECT_EQ(test::parseMailDate("Tue, 16 Mar 2010 01:12:05 +0800"), kMarch15);
    EXPECT_EQ(test::parseMailDate("Mon, 15 Mar 2010 17:12 GMT"), kMarch15 - 5 * kSecond);
    EXPECT_FALSE(test::parseMailDate("yesterday"));
    EXPECT_FALSE(test::parseMailDate("15 Foo 2010 17:12:05 +0000"));
}

TEST(PeerParsing, PffTimesKeepTheirTicks) {
    EXPECT_EQ(test::parsePffTime("Mar 15, 2010 17:12:05.000000000 UTC"), kMarch15);
    EXPECT_EQ(test::parsePffTime("Mar 15, 2010 17:12:07.951519700 UTC"),
              kMarch15 + 2 * kSecond + 9515197);
    EXPECT_EQ(test::parsePffTime("Jan 01, 1601 00:00:00.000000000 UTC"), 0u);
    EXPECT_FALSE(test::parsePffTime("Mar 15, 2010"));
}

TEST(PeerParsing, EncodedHeaderWordsAreDecoded) {
    EXPECT_EQ(test::decodeHeaderWords("=?utf-8?B?TWljcm9zb2Z0IE91dGxvb2sgVGVzdCBNZXNzYWdl?="),
              "Microsoft Outlook Test Message");
    EXPECT_EQ(test::decodeHeaderWords("=?iso-8859-1?Q?Caf=E9_cr=E8me?= ok"),
              "Caf\xC3\xA9 cr\xC3\xA8me ok");
    EXPECT_EQ(test::decodeHeaderWords("=?utf-8?Q?a?= =?utf-8?Q?b?="), "ab");
    EXPECT_EQ(test::decodeHeaderWords("plain text"), "plain text");
}

// ---------------------------------------------------------------- matching

PeerItem peerMail(std::string subject, std::string sender, std::vector<std::uint64_t> times,
                  bool recovered = false) {
    PeerItem p;
    p.subject = std::move(subject);
    p.names = {std::move(sender)};
    p.times = std::move(times);
    p.timeTolerance = kSecond;
    p.recovered = recovered;
    return p;
}

OurItem ourMail(std::string subject, std::string sender, std::vector<std::uint64_t> times,
                bool deleted = false) {
    OurItem o;
    o.subject = std::move(subject);
    o.names = {std::move(sender)};
    o.times = std::move(times);
    o.deleted = deleted;
    return o;
}

TEST(PeerMatching, SubjectSenderAndTimeMustAllAgree) {
    const OurItem ours = ourMail("Here is a sample message", "Terry Mahaffey", {kMarch15});
    EXPECT_GT(test::matchScore(peerMail("here is  a sample message ", "terry mahaffey",
                                        {kMarch15 + kSecond / 2}),
                               ours),
              0);
    EXPECT_EQ(
        test::matchScore(peerMail("Here is another message", "Terry Mahaffey", {kMarch15}), ours),
        0);
    EXPECT_EQ(
        test::matchScore(peerMail("Here is a sample message", "Someone Else", {kMarch15}), ours),
        0);
    EXPECT_EQ(
        test::matchScore(
            peerMail("Here is a sample message", "Terry Mahaffey", {kMarch15 + 2 * kSecond}), ours),
        0);
    // A side without a time or a sender does not veto.
    EXPECT_GT(test::matchScore(peerMail("Here is a sample message", "Terry Mahaffey", {}), ours),
              0);
    PeerItem noSender = peerMail("Here is a sample message", "", {kMarch15});
    noSender.names.clear();
    EXPECT_GT(test::matchScore(noSender, ours), 0);
}

TEST(PeerMatching, ContactsMatchOnNameWordsAndEveryDetail) {
    OurItem ours;
    ours.subject = "Saqib Razzaq";
    ours.names = {"Saqib Razzaq"};
    ours.facts = {"Aspose", "111-000-1234"};
    PeerItem card;
    card.kind = PeerKind::Contact;
    card.names = {"Razzaq, Saqib"};
    card.facts = {"aspose", "(111) 0001234"};
    EXPECT_GT(test::matchScore(card, ours), 0);
    card.facts.push_back("Grade A Investment");
    EXPECT_EQ(test::matchScore(card, ours), 0);
    card.facts.pop_back();
    card.names = {"Saqib Razzaqi"};
    EXPECT_EQ(test::matchScore(card, ours), 0);
}

TEST(PeerMatching, EachOfOurItemsTakesOnePeerItemPreferringTheCloserOne) {
    // A live copy modified later and a stale copy: the recovered peer item goes to the stale one.
    const std::vector<OurItem> ours = {
        ourMail("s", "a", {kMarch15, kMarch15 + 400 * kSecond}),
        ourMail("s", "a", {kMarch15, kMarch15 + 3 * kSecond}, /*deleted=*/true),
    };
    const std::vector<PeerItem> peers = {
        peerMail("s", "a", {kMarch15, kMarch15 + 3 * kSecond}, /*recovered=*/true),
        peerMail("s", "a", {kMarch15, kMarch15 + 400 * kSecond}),
        peerMail("s", "a", {kMarch15}, /*recovered=*/true),  // a third copy: nothing left
    };
    EXPECT_EQ(test::matchItems(peers, ours), (std::vector<int>{1, 0, -1}));
}

// ---------------------------------------------------------------- the corpus against the peers

// Peer items we do not find, each diagnosed: (file, peer, node id or path, why).
struct Allowed {
    const char* file;
    const char* peer;
    std::uint32_t node;  // pffexport's node id; 0 to use the subject (readpst logs no ids)
    const char* subject;
    const char* reason;
};
const Allowed kAllowed[] = {
    // pffexport recovers a stale row of the sample folder's contents table (node 0x808E, a table
    // node, not an item) as a mail: it is the summary row of item 0x200024, whose stale copy we
    // list as deleted. Not a separate item.
    {"sample1.pst", "pffexport", 32910, "",
     "contents-table row of item 0x200024, not an item of its own"},
    {"sample2.pst", "pffexport", 32910, "",
     "contents-table row of item 0x200024, not an item of its own"},
};

// Items of which we may list fewer attachments than pffexport exports, by node id (none now).
const std::vector<std::pair<const char*, std::uint32_t>> kFewerAttachments;

bool fewerAttachmentsAllowed(const std::string& file, const PeerItem& p) {
    for (const auto& [f, node] : kFewerAttachments)
        if (file == f && p.node == node) return true;
    return false;
}

const Allowed* allowedEntry(const std::string& file, const std::string& peer, const PeerItem& p) {
    for (const Allowed& a : kAllowed) {
        if (file != a.file || peer != a.peer) continue;
        if (a.node != 0 ? p.node == a.node : p.subject == a.subject) return &a;
    }
    return nullptr;
}

const char* kindText(PeerKind k) {
    return k == PeerKind::Contact ? "contact" : k == PeerKind::Note ? "note" : "mail";
}

std::string describe(const PeerItem& p) {
    std::ostringstream s;
    s << kindText(p.kind) << " '" << p.subject.value_or("") << "'";
    if (!p.names.empty()) s << " from '" << p.names.front() << "'";
    if (p.node) s << " node " << *p.node;
    s << (p.recovered ? " (recovered)" : "") << " at " << p.where;
    return s.str();
}

// What our tables say about an item we miss, for the report.
std::string diagnose(const RecoveredBase& base, const std::vector<OurItem>& ours,
                     const PeerItem& p) {
    std::ostringstream s;
    for (const OurItem& o : ours) {
        if (!o.listed && test::matchScore(p, o) > 0)
            s << "; matches our unlisted item " << o.index << " (hidden or load failed)";
    }
    if (p.node) {
        int entries = 0, reachable = 0;
        for (const NodeEntry& n : base.nodeTable)
            if (n.nodeId == *p.node) ++entries, reachable += n.reachable;
        int kept = 0;
        for (const MessageNodeEntry& m : base.messageEntries)
            kept += m.nodeId == *p.node;
        s << "; node table: " << entries << " entries (" << reachable << " reachable), " << kept
          << " kept as items";
    }
    return s.str();
}

struct PeerRun {
    bool ran = false;
    std::vector<PeerItem> items;
    std::vector<int> match;
};

// How many items each peer found (0 for a peer that is not installed).
struct PeerCounts {
    std::size_t pffexport = 0;
    std::size_t readpst = 0;
};

// Runs both peers over `path` and fails for every item a peer finds that our pass misses. A
// peer may give up on a `damaged` file: it then found nothing.
PeerCounts expectEveryPeerItemFoundByUs(const std::string& path, bool damaged = false) {
    const bool havePff = test::haveTool("pffexport");
    const bool haveReadpst = test::haveTool("readpst");
    const std::string file = fs::path(path).filename().string();
    test::TempDir tmp;

    PeerRun pff, rp;
    if (havePff) {
        const fs::path target = tmp.path() / "pff" / "out";
        fs::create_directories(target.parent_path());
        const fs::path log = tmp.path() / "pff.log";
        const int status = test::runTool({"pffexport", "-q", "-m", "all", "-f", "all", "-l",
                                          log.string(), "-t", target.string(), path},
                                         tmp.path() / "pff.out");
        if (!damaged) {
            EXPECT_EQ(status, 0);
        }
        pff.items = test::readPffExport(target, log);
        pff.ran = true;
    }
    if (haveReadpst) {
        const fs::path out = tmp.path() / "readpst";
        fs::create_directories(out);
        // One job: parallel jobs skip items at random.
        const int status =
            test::runTool({"readpst", "-q", "-D", "-j", "0", "-S", "-o", out.string(), path},
                          tmp.path() / "readpst.out");
        if (!damaged) {
            EXPECT_EQ(status, 0);
        }
        rp.items = test::readReadpstOutput(out);
        rp.ran = true;
    }

    RecoveredBase base;
    setMessageBasePath(base, path);
    openMessageBase(base);
    EXPECT_EQ(base.resultOk, 1) << base.errorText;
    if (base.resultOk != 1) return {};
    const std::vector<OurItem> all = test::describeOurItems(base);
    std::vector<OurItem> listed;
    for (const OurItem& o : all)
        if (o.listed) listed.push_back(o);
    pff.match = test::matchItems(pff.items, listed);
    rp.match = test::matchItems(rp.items, listed);

    std::vector<bool> ourMatched(listed.size(), false);
    int recovered = 0, deleted = 0;
    for (const PeerRun* run : {&pff, &rp})
        for (int m : run->match)
            if (m >= 0) ourMatched[static_cast<std::size_t>(m)] = true;
    for (const PeerItem& p : pff.items)
        recovered += p.recovered;
    for (const OurItem& o : listed)
        deleted += o.deleted;
    const auto onlyUs = std::count(ourMatched.begin(), ourMatched.end(), false);
    const auto missed = [](const PeerRun& r) {
        return std::count(r.match.begin(), r.match.end(), -1);
    };

    std::ostringstream table;
    table << "== " << file << "\n"
          << "   pffexport: " << (pff.ran ? std::to_string(pff.items.size()) : "-") << " ("
          << recovered
          << " recovered), readpst: " << (rp.ran ? std::to_string(rp.items.size()) : "-")
          << ", us: " << listed.size() << " (" << deleted << " deleted)"
          << ", only us: " << onlyUs << ", only pffexport: " << missed(pff)
          << ", only readpst: " << missed(rp) << "\n";
    std::set<const Allowed*> used;
    std::set<std::uint32_t> fewerSeen;
    for (const auto& [name, run] : {std::pair{"pffexport", &pff}, std::pair{"readpst", &rp}}) {
        for (std::size_t i = 0; i < run->items.size(); ++i) {
            const PeerItem& p = run->items[i];
            const int m = run->match[i];
            if (m < 0) {
                const Allowed* a = allowedEntry(file, name, p);
                table << "   only " << name << ": " << describe(p) << diagnose(base, all, p)
                      << (a ? std::string("\n      allowed: ") + a->reason : "") << "\n";
                if (a) used.insert(a);
                if (!a) ADD_FAILURE() << name << " finds an item we miss: " << describe(p);
                continue;
            }
            const OurItem& ours = listed[static_cast<std::size_t>(m)];
            if (p.attachments && ours.attachments < *p.attachments) {
                const bool allowed = fewerAttachmentsAllowed(file, p);
                if (allowed) fewerSeen.insert(*p.node);
                table << "   fewer attachments (" << ours.attachments << " of " << *p.attachments
                      << "): " << describe(p) << (allowed ? " [known fault]" : "") << "\n";
                if (!allowed)
                    ADD_FAILURE() << "we list " << ours.attachments << " of the " << *p.attachments
                                  << " attachments " << name << " exports for " << describe(p);
            }
            // An orphan that pffexport recovers may be live in an index whose folder is gone.
            const bool orphan = p.where.find(".orphans") != std::string::npos;
            if (p.recovered && !ours.deleted && !orphan) {
                ADD_FAILURE() << "recovered by " << name
                              << " but not marked deleted by us: " << describe(p) << ", our item "
                              << listed[static_cast<std::size_t>(m)].index;
            }
        }
    }
    // An exception nothing needs any more must go, so that the fault it hid stays fixed.
    for (const Allowed& a : kAllowed)
        if (file == a.file && (std::string(a.peer) == "pffexport" ? pff.ran : rp.ran) &&
            !used.count(&a))
            ADD_FAILURE() << "allow-list entry no longer needed: " << a.peer << " " << a.reason;
    for (const auto& [f, node] : kFewerAttachments)
        if (file == f && pff.ran && !fewerSeen.count(node))
            ADD_FAILURE() << "attachment exception no longer needed: node " << node;
    for (std::size_t o = 0; o < listed.size(); ++o)
        if (!ourMatched[o])
            table << "   only us: #" << listed[o].index << " node " << listed[o].nodeId << " "
                  << cli::kindName(listed[o].kind) << " '" << listed[o].subject << "'"
                  << (listed[o].deleted ? " (deleted)" : "") << "\n";
    std::printf("%s", table.str().c_str());
    return {pff.items.size(), rp.items.size()};
}

class PeerCompare : public ::testing::TestWithParam<std::string> {};

TEST_P(PeerCompare, EveryPeerItemIsFoundByUs) {
    BREVIK_REQUIRE_CORPUS();
    if (!test::haveTool("pffexport") && !test::haveTool("readpst"))
        GTEST_SKIP() << "neither pffexport nor readpst is installed";
    expectEveryPeerItemFoundByUs(GetParam());
}

// An offline file with 4 KiB pages, its copies without a header and cut at 90 %, and the .pst
// it converts to: we find whatever a peer finds, and the peers read the converted file whole.
TEST(PeerCompare4k, DamagedCopiesAndTheConvertedPstLoseNothingAPeerFinds) {
    if (!test::haveTool("pffexport") || !test::haveTool("readpst"))
        GTEST_SKIP() << "pffexport and readpst are needed";
    test::TempDir tmp;
    pst::SampleOptions options;
    options.items = 30;
    options.deleted = 3;
    options.orphans = 2;
    options.pages4k = true;
    const std::string ost = (tmp.path() / "mailbox.ost").string();
    ASSERT_TRUE(pst::generateSamplePst(ost, options).ok());
    const PeerCounts whole = expectEveryPeerItemFoundByUs(ost);
    EXPECT_GE(whole.pffexport, options.items + options.deleted + options.orphans);

    Bytes headless = test::readFileBytes(ost);
    std::fill(headless.begin(), headless.begin() + 4096, 0);
    test::writeFileBytes((tmp.path() / "headless.ost").string(), headless);
    expectEveryPeerItemFoundByUs((tmp.path() / "headless.ost").string(), true);
    test::writeTruncatedCopy(ost, 90, (tmp.path() / "cut.ost").string());
    expectEveryPeerItemFoundByUs((tmp.path() / "cut.ost").string(), true);

    RecoveredBase base;
    setMessageBasePath(base, ost);
    openMessageBase(base);
    const std::atomic<bool> stop{false};
    const pst::SaveTaskResult saved =
        pst::savePst(base, tmp.path().string(), nullptr, stop, nullptr);
    ASSERT_TRUE(saved.ok) << saved.message;
    const PeerCounts converted = expectEveryPeerItemFoundByUs(saved.outputPath);
    EXPECT_GE(converted.pffexport, whole.pffexport);
    EXPECT_GE(converted.readpst, whole.readpst);
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, PeerCompare, ::testing::ValuesIn(test::corpusPstFiles()),
                         testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(PeerCompare);

}  // namespace
}  // namespace brevik
