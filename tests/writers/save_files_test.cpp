// Saving a recovered base as separate .eml, .msg and mbox files: what independent readers find
// in them equals our own reading of the source items.
#include "writers/files/save_files.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "mail_files.h"
#include "message/item_summary.h"
#include "message/load_message.h"
#include "message/records.h"
#include "recovery/recovery_pass.h"
#include "support/corpus.h"
#include "writers/files/item_fields.h"
#include "writers/pst/recovered_store.h"
#include "writers/pst/sample_generator.h"

namespace brevik::files {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;

std::unique_ptr<RecoveredBase> recover(const std::string& path) {
    auto base = std::make_unique<RecoveredBase>();
    setMessageBasePath(*base, path);
    openMessageBase(*base);
    return base;
}

// The item index of a saved file, from the number its name begins with.
std::uint32_t itemOf(const RecoveredBase& base, const std::string& path) {
    const std::uint32_t number = std::stoul(fs::path(path).filename().string());
    for (std::uint32_t i = 0; i < base.itemCount; ++i)
        if (base.itemSummaries[i].number == number) return i;
    ADD_FAILURE() << "no item " << number;
    return 0;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// What a mail reader found in a saved message, against our reading of item `index`.
void expectSameMail(RecoveredBase& base, std::uint32_t index, const nlohmann::json& m,
                    const std::string& what, bool recipients = true) {
    SCOPED_TRACE(what);
    ASSERT_FALSE(m.contains("error")) << m["error"];
    loadMessage(base, index);
    const std::shared_ptr<MessageRecord> record = base.messageEntries[index].record;
    base.messageEntries[index].record.reset();
    ASSERT_TRUE(record);
    const MessageEnvelope& env = record->envelope;
    EXPECT_EQ(m["subject"], env.subject ? env.subject->text : "");
    const std::string senderName = env.sentRepresentingName.value_or(env.senderName.value_or(""));
    ASSERT_FALSE(m["from"].empty());
    EXPECT_EQ(m["from"][0]["name"], senderName);
    if (env.clientSubmitTime) {
        EXPECT_EQ(m["date"],
                  static_cast<double>((*env.clientSubmitTime - kUnixEpochTicks) / 10000000));
    }
    if (env.body) {
        EXPECT_EQ(test::normalisedText(m["text"]), test::normalisedText(*env.body));
    }
    if (env.html) {
        EXPECT_EQ(test::normalisedText(m["html"]), test::normalisedText(*env.html));
    }

    const pst::RecoveredNames names = pst::recoveredNames(base);
    const auto item = pst::recoveredItem(base, index, names);
    ASSERT_TRUE(item);
    // Recipients (Bcc aside): each found by its address where the item knows an SMTP one,
    // else by its name. (Read from the complete rows: the item loader's quick read of a
    // recipient table misreads some of the sample rows.)
    std::vector<std::string> found;
    for (const char* field : {"to", "cc"})
        for (const auto& a : m[field]) {
            found.push_back(lower(a["address"].get<std::string>()));
            found.push_back(lower(a["name"].get<std::string>()));
        }
    std::size_t listed = 0;
    for (const pst::Recipient& r : recipients ? item->recipients : std::vector<pst::Recipient>{}) {
        const ItemFields f(r.properties);
        if ((f.int32(0x0C15).value_or(1) & 0xF) == 3) continue;
        ++listed;
        std::string key = f.text(0x39FE).value_or(f.text(0x3003).value_or(""));
        if (key.find('@') == std::string::npos) key = f.text(0x3001).value_or("");
        EXPECT_NE(std::find(found.begin(), found.end(), lower(key)), found.end()) << key;
    }
    if (recipients) {
        EXPECT_EQ(found.size(), 2 * listed);
    }
    std::multiset<std::uint32_t> wantCrcs, gotCrcs;
    std::size_t embedded = 0;
    for (const pst::Attachment& a : item->attachments) {
        if (a.embedded)
            ++embedded;
        else if (!a.data.empty())
            wantCrcs.insert(test::zlibCrc(a.data));
    }
    for (const auto& a : m["attachments"])
        gotCrcs.insert(a["crc32"].get<std::uint32_t>());
    EXPECT_EQ(gotCrcs, wantCrcs);
    EXPECT_EQ(m["embedded"].size(), embedded);
}

// Python's email package flags the Message-IDs Outlook itself made (two "@"); those are kept
// as the original headers had them, so threads still join. Every other defect counts.
std::vector<std::string> realDefects(const nlohmann::json& m) {
    std::vector<std::string> out;
    for (const auto& d : m["defects"])
        if (lower(d.get<std::string>()).rfind("message-id:", 0) != 0) out.push_back(d);
    for (const auto& e : m["embedded"])
        for (auto& d : realDefects(e))
            out.push_back(d);
    return out;
}

TEST(SaveFiles, EmlFromEverySampleFileParsesAndMatchesOurReading) {
    BREVIK_REQUIRE_CORPUS();
    std::size_t checked = 0;
    for (const std::string& file : test::corpusPstFiles()) {
        auto base = recover(file);
        if (base->resultOk != 1 || base->itemCount == 0) continue;
        ScratchDir dir;
        const std::atomic<bool> stop{false};
        const FileSaveResult r = saveFiles(*base, FileFormat::Eml, dir.path(), nullptr, stop, {});
        ASSERT_TRUE(r.ok) << file << ": " << r.message;
        EXPECT_EQ(fs::path(r.outputPath).filename(),
                  recoveredFolderName(base->fileName, FileFormat::Eml));
        const auto paths = test::filesUnder(dir.path(), ".eml");
        EXPECT_EQ(paths.size(), r.items);
        const auto parsed = test::checkMail("eml", paths);
        for (const std::string& p : paths) {
            ASSERT_TRUE(parsed.contains(p)) << p;
            EXPECT_TRUE(realDefects(parsed[p]).empty()) << p << ": " << parsed[p]["defects"];
            expectSameMail(*base, itemOf(*base, p), parsed[p], p);
            ++checked;
        }
    }
    EXPECT_GT(checked, 40u);
}

// A contact's "file under" text, a named property (PSETID_Address, 0x8005), in the source.
constexpr const char* kFileUnder = "00062004-0000-0000-c000-000000000046/0x8005";
constexpr std::array<std::uint8_t, 16> kPsetidAddress = {
    0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

std::string fileUnder(RecoveredBase& base, std::uint32_t index) {
    const pst::RecoveredNames names = pst::recoveredNames(base);
    const auto item = pst::recoveredItem(base, index, names);
    for (std::size_t i = 0; item && i < names.table.size(); ++i) {
        const pst::NamedProperty& n = names.table[i];
        if (n.guid != kPsetidAddress || n.isString || n.numericId != 0x8005) continue;
        if (auto text = ItemFields(item->properties).text(static_cast<std::uint16_t>(0x8000 + i)))
            return *text;
    }
    return "absent";
}

TEST(SaveFiles, MsgOpensAsCompoundFileAndConvertsBackToTheSameMail) {
    BREVIK_REQUIRE_CORPUS();
    if (!test::haveMailTools()) GTEST_SKIP() << "olefile or msgconvert missing";
    for (const char* name : {"outlook1.pst", "submessage.pst", "sample-contacts.pst"}) {
        auto base = recover(test::corpusPath(std::string("pst/") + name));
        ScratchDir dir;
        const std::atomic<bool> stop{false};
        const FileSaveResult r = saveFiles(*base, FileFormat::Msg, dir.path(), nullptr, stop, {});
        ASSERT_TRUE(r.ok) << r.message;
        const auto paths = test::filesUnder(dir.path(), ".msg");
        ASSERT_EQ(paths.size(), r.items);
        const auto ole = test::checkMail("msg", paths);
        for (const std::string& p : paths) {
            SCOPED_TRACE(p);
            const auto& entries = ole[p]["entries"];
            ASSERT_TRUE(entries.is_array()) << ole[p];
            auto has = [&](const std::string& e) {
                return std::find(entries.begin(), entries.end(), e) != entries.end();
            };
            EXPECT_TRUE(has("__properties_version1.0"));
            for (const char* s : {"00020102", "00030102", "00040102"})
                EXPECT_TRUE(has(std::string("__nameid_version1.0/__substg1.0_") + s));
            EXPECT_EQ(ole[p]["clsid"], "00020D0B-0000-0000-C000-000000000046");

            const std::uint32_t index = itemOf(*base, p);
            if (base->itemSummaries[index].kind == item_kind::kContact) {
                EXPECT_EQ(ole[p]["named"].value(kFileUnder, "absent"), fileUnder(*base, index));
            }
            if (base->itemSummaries[index].kind != item_kind::kMessage) continue;
            const std::string eml = p + ".eml";
            ASSERT_EQ(test::runCommand("msgconvert --outfile " + test::shellQuote(eml) + " " +
                                       test::shellQuote(p)),
                      0);
            // msgconvert writes recipient names unquoted, which Python cannot always split.
            expectSameMail(*base, index, test::checkMail("eml", {eml})[eml], "msgconvert", false);
        }
    }
}

TEST(SaveFiles, StopHalfWayLeavesOnlyCompleteFiles) {
    ScratchDir dir;
    pst::SampleOptions sample;
    sample.items = 60;
    ASSERT_TRUE(pst::generateSamplePst(dir.file("s.pst"), sample).ok());
    auto base = recover(dir.file("s.pst"));
    for (FileFormat format : {FileFormat::Eml, FileFormat::Msg, FileFormat::Mbox}) {
        std::atomic<bool> stop{false};
        const FileSaveResult r = saveFiles(*base, format, dir.file("out"), nullptr, stop,
                                           [&](int percent) { stop = stop || percent >= 50; });
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.canceled);
        EXPECT_EQ(base->resultOk, 1);  // the base still describes its recovery
        std::size_t files = 0;
        for (const auto& e : fs::recursive_directory_iterator(r.outputPath)) {
            EXPECT_NE(e.path().filename().string().front(), '_') << e.path();
            files += e.is_regular_file();
        }
        EXPECT_GT(files, 0u);
        if (format == FileFormat::Eml) {
            const auto parsed = test::checkMail("eml", test::filesUnder(r.outputPath, ".eml"));
            for (const auto& [p, m] : parsed.items())
                EXPECT_TRUE(m["defects"].empty()) << p;
        }
    }
    // A new save never reuses an existing output folder.
    const std::atomic<bool> stop{false};
    const FileSaveResult again =
        saveFiles(*base, FileFormat::Eml, dir.file("out"), nullptr, stop, {});
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(fs::path(again.outputPath).filename(), "Recovered_s_as_eml_by_Brevik (2)");
}

TEST(SaveFiles, MboxHoldsTheSameMailAsTheEmlFiles) {
    BREVIK_REQUIRE_CORPUS();
    auto base = recover(test::corpusPath("pst/outlook1.pst"));
    ScratchDir dir;
    const std::atomic<bool> stop{false};
    const FileSaveResult r = saveFiles(*base, FileFormat::Mbox, dir.path(), nullptr, stop, {});
    ASSERT_TRUE(r.ok) << r.message;
    std::vector<std::string> boxes;
    for (const auto& e : fs::recursive_directory_iterator(r.outputPath))
        if (e.is_regular_file()) boxes.push_back(e.path().string());
    EXPECT_TRUE(fs::is_regular_file(r.outputPath + "/Inbox"));
    EXPECT_TRUE(fs::is_regular_file(r.outputPath + "/Inbox.sbd/SubInbox"));
    std::multiset<std::string> subjects;
    std::size_t messages = 0;
    const auto parsed = test::checkMail("mbox", boxes);
    for (const auto& [path, list] : parsed.items())
        for (const auto& m : list) {
            EXPECT_TRUE(realDefects(m).empty()) << path;
            subjects.insert(m["subject"].get<std::string>());
            ++messages;
        }
    EXPECT_EQ(messages, r.items);
    std::multiset<std::string> expected;
    for (std::uint32_t i = 0; i < base->itemCount; ++i)
        if (base->itemSummaries[i].kind == item_kind::kMessage &&
            base->itemSummaries[i].hiddenCode == 0)
            expected.insert(base->itemSummaries[i].subjectText);
    EXPECT_EQ(subjects, expected);
}

// Items converted on worker threads land in the same files with the same bytes as items
// converted one by one by the writer.
TEST(SaveFiles, ConvertingAheadOnThreadsWritesTheSameFiles) {
    BREVIK_REQUIRE_CORPUS();
    auto base = recover(test::corpusPath("pst/outlook1.pst"));
    const std::atomic<bool> stop{false};
    std::vector<std::map<std::string, Bytes>> trees;
    for (unsigned threads : {1u, 4u}) {
        ScratchDir dir;
        base->passThreads = threads;
        const FileSaveResult r = saveFiles(*base, FileFormat::Msg, dir.path(), nullptr, stop, {});
        ASSERT_TRUE(r.ok) << r.message;
        auto& files = trees.emplace_back();
        for (const auto& e : fs::recursive_directory_iterator(r.outputPath))
            if (e.is_regular_file())
                files[fs::relative(e.path(), r.outputPath).string()] =
                    test::readFile(e.path().string());
    }
    EXPECT_GT(trees[0].size(), 10u);
    EXPECT_EQ(trees[0], trees[1]);
}

}  // namespace
}  // namespace brevik::files
