#include <gtest/gtest.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include <sstream>

#include "cli/commands.h"
#include "cli/recovery_view.h"
#include "message/rtf_decompress.h"
#include "support/app_fixtures.h"
#include "support/cli_run.h"
#include "support/corpus.h"
#include "support/peer_tools.h"
#include "support/written_store.h"

namespace brevik {
namespace {

using test::CliRun;
CliRun run(std::vector<std::string> args) {
    return test::runCli(std::move(args));
}

TEST(ListCommand, PrintsTheTreeAndTheRowsOfEachFolder) {
    BREVIK_REQUIRE_CORPUS();
    const CliRun r = run({"list", test::corpusPath("pst/outlook1.pst")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nTop of Personal Folders (0)\n  Calendar (5)\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("    SubInbox (0)\n"), std::string::npos);
    EXPECT_NE(r.out.find("== Top of Personal Folders/Inbox\n"), std::string::npos);
    EXPECT_NE(r.out.find("Saqib Razzaq | saqib.razzaq@xp.local | Multiple attachments | "),
              std::string::npos);
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(ListCommand, JsonCarriesMarksTimesAndFolderPaths) {
    BREVIK_REQUIRE_CORPUS();
    const CliRun r = run({"list", "--json", test::corpusPath("pst/sample1.pst")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["dropped"]["duplicateItems"], 1);
    ASSERT_EQ(j["items"].size(), 2u);
    int deleted = 0;
    for (const auto& item : j["items"]) {
        EXPECT_EQ(item["subject"], "Here is a sample message");
        EXPECT_EQ(item["from"], "Terry Mahaffey");
        EXPECT_EQ(item["time"], "2010-03-15T17:12:07Z");
        EXPECT_EQ(item["folder"], "Top of Outlook data file/Sample1");
        EXPECT_EQ(item["attachments"], nlohmann::json::array({"leah_thumper.jpg"}));
        EXPECT_EQ(item["bodyFormat"], "html");
        deleted += item["deleted"].get<bool>();
    }
    EXPECT_EQ(deleted, 1);

    const CliRun onlyDeleted =
        run({"list", "--json", "--deleted", test::corpusPath("pst/sample1.pst")});
    const auto d = nlohmann::json::parse(onlyDeleted.out);
    ASSERT_EQ(d["items"].size(), 1u);
    EXPECT_TRUE(d["items"][0]["deleted"].get<bool>());

    // JSON lines: the same items, one standing-alone object per line naming its file.
    const CliRun lines = run({"list", "--jsonl", test::corpusPath("pst/sample1.pst")});
    ASSERT_EQ(lines.status, 0) << lines.err;
    std::istringstream in(lines.out);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line); ++n) {
        auto item = nlohmann::json::parse(line);
        EXPECT_EQ(item["file"], test::corpusPath("pst/sample1.pst"));
        item.erase("file");
        ASSERT_LT(n, j["items"].size());
        EXPECT_EQ(item, j["items"][n]);
    }
    EXPECT_EQ(n, j["items"].size());
}

TEST(ShowCommand, PrintsHeaderRecipientsAttachmentsAndBody) {
    BREVIK_REQUIRE_CORPUS();
    const CliRun r = run({"show", test::corpusPath("pst/outlook1.pst"), "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Subject:     this message contains embedded MSG\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("From:        Saqib Razzaq <saqib.razzaq@xp.local>\n"), std::string::npos);
    EXPECT_NE(r.out.find("  message 1 (2.23 KB).msg\n"), std::string::npos);
    EXPECT_NE(r.out.find("<html"), std::string::npos);

    const CliRun json = run({"show", "--json", test::corpusPath("pst/sample2.pst"), "2"});
    ASSERT_EQ(json.status, 0) << json.err;
    const auto j = nlohmann::json::parse(json.out);
    ASSERT_EQ(j["recipients"].size(), 1u);
    EXPECT_EQ(j["recipients"][0]["name"], "Terry Mahaffey");
    EXPECT_EQ(j["recipients"][0]["type"], "To");
}

TEST(ShowCommand, UnknownNumbersAndBadFilesFailClearly) {
    BREVIK_REQUIRE_CORPUS();
    for (const char* number : {"0", "99", "99999999"}) {
        const CliRun missing = run({"show", test::corpusPath("pst/sample1.pst"), number});
        EXPECT_EQ(missing.status, 2) << number;
        EXPECT_NE(missing.err.find("no item with that number"), std::string::npos) << missing.err;
    }
    const CliRun notPst = run({"list", test::corpusPath("eml/test.eml")});
    EXPECT_NE(notPst.status, 0);
    EXPECT_NE(notPst.err.find("test.eml"), std::string::npos) << notPst.err;
}

pst::Property rtfProperty(std::string_view rtf) {
    return pst::binaryProperty(0x1009, compressRtfLiterals(Bytes(rtf.begin(), rtf.end())));
}

TEST(ListCommand, ItemsWithOnlyAnRtfBodyShowItAsHtmlOrText) {
    test::TempDir dir;
    const std::string path = (dir.path() / "rtf.pst").string();
    ASSERT_TRUE(test::writeInbox(
        path,
        {test::mailItem("wrapped html",
                        {rtfProperty("{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag64 "
                                     "<p>}Hi\\htmlrtf x\\htmlrtf0 {\\*\\htmltag72 </p>}}")}),
         test::mailItem("wrapped text", {rtfProperty("{\\rtf1\\ansi\\fromtext Plain\\par text}")}),
         test::mailItem("native", {rtfProperty("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}Caf\\'e9}")}),
         test::mailItem("own text", {pst::unicodeProperty(0x1000, "Own body"),
                                     rtfProperty("{\\rtf1 other}")})}));
    const CliRun r = run({"list", "--json", path});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto items = nlohmann::json::parse(r.out)["items"];
    ASSERT_EQ(items.size(), 4u);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"html", true}, {"text", true}, {"text", true}, {"text", false}};
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]["bodyFormat"], expected[i].first) << i;
        EXPECT_EQ(items[i]["bodyFromRtf"], expected[i].second) << i;
    }
    const std::vector<std::string> bodies = {"<p>Hi</p>", "Plain\ntext", "Caf\xC3\xA9",
                                             "Own body"};
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const CliRun shown = run({"show", path, std::to_string(i + 1)});
        EXPECT_NE(shown.out.find("\n\n" + bodies[i] + "\n"), std::string::npos) << shown.out;
    }
}

TEST(ListCommand, FolderAssociatedItemsAreListedOnlyWithAll) {
    test::TempDir dir;
    const std::string path = (dir.path() / "fai.pst").string();
    ASSERT_TRUE(test::writeInbox(
        path, {test::mailItem("mail")},
        {test::mailItem("view", {pst::unicodeProperty(0x1000, "a readable body")})}));
    const CliRun plain = run({"list", path});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find("view"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("1 items"), std::string::npos) << plain.out;

    const CliRun all = run({"list", "--all", path});
    EXPECT_NE(all.out.find("     -       0  associated   Sender |  | view"), std::string::npos)
        << all.out;
    const auto items = nlohmann::json::parse(run({"list", "--json", "--all", path}).out)["items"];
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0]["associated"].get<bool>() && items[0]["hidden"].get<bool>());
    EXPECT_EQ(nlohmann::json::parse(run({"list", "--json", path}).out)["items"].size(), 1u);
}

// Items are formatted in chunks on several threads and written in order: the listing is the
// one a single thread writes, across chunk boundaries, with deleted and orphaned items too.
TEST(ListCommand, ListingsAreTheSameOnOneThreadAndOnMany) {
    test::TempDir dir;
    const std::string pst = (dir.path() / "many.pst").string();
    test::writeSample(pst, 4500, 300, 200);
    for (const char* form : {"--json", "--jsonl"}) {
        const CliRun one = run({"list", form, "--all", "--threads", "1", pst});
        EXPECT_GT(std::count(one.out.begin(), one.out.end(), '\n'), 4500) << one.err;
        for (const char* threads : {"2", "5"})
            EXPECT_EQ(run({"list", form, "--all", "--threads", threads, pst}).out, one.out)
                << form << " on " << threads << " threads";
    }
}

TEST(RecoveryView, IsoTimesFromFiletimes) {
    EXPECT_EQ(cli::isoUtc(0), "");
    EXPECT_EQ(cli::isoUtc(116444736000000000ull), "1970-01-01T00:00:00Z");
    EXPECT_EQ(cli::isoUtc(129131467279515197ull), "2010-03-15T17:12:07Z");
    EXPECT_EQ(cli::isoUtc(~0ull), "60056-05-28T05:36:10Z");  // the last FILETIME
    // Leap days and century years, against the C library, a day and a second apart.
    for (std::uint64_t t = 116444736000000000ull; t < 116444736000000000ull + 420000000000000000ull;
         t += 8640000000001ull) {
        const std::time_t s = static_cast<std::time_t>((t - 116444736000000000ull) / 10000000);
        std::tm tm{};
        ASSERT_TRUE(::gmtime_r(&s, &tm));
        char expected[32];
        std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%SZ", &tm);
        ASSERT_EQ(cli::isoUtc(t), expected) << t;
    }
}

}  // namespace
}  // namespace brevik
