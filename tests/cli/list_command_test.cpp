#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "cli/commands.h"
#include "cli/recovery_view.h"
#include "support/cli_run.h"
#include "support/corpus.h"

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
    const CliRun missing = run({"show", test::corpusPath("pst/sample1.pst"), "99"});
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("no item number 99"), std::string::npos) << missing.err;
    const CliRun notPst = run({"list", test::corpusPath("eml/test.eml")});
    EXPECT_NE(notPst.status, 0);
    EXPECT_NE(notPst.err.find("test.eml"), std::string::npos) << notPst.err;
}

TEST(RecoveryView, IsoTimesFromFiletimes) {
    EXPECT_EQ(cli::isoUtc(0), "");
    EXPECT_EQ(cli::isoUtc(116444736000000000ull), "1970-01-01T00:00:00Z");
    EXPECT_EQ(cli::isoUtc(129131467279515197ull), "2010-03-15T17:12:07Z");
}

}  // namespace
}  // namespace brevik
