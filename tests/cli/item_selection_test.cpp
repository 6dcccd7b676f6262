#include "cli/item_selection.h"

#include <gtest/gtest.h>

#include "support/cli_run.h"
#include "support/peer_check.h"
#include "support/peer_tools.h"

namespace brevik::cli {
namespace {

TEST(ItemList, DecimalNumbersAndRangesOnly) {
    std::string why;
    const auto ranges = parseItemList("3,5,10-20", why);
    ASSERT_TRUE(ranges) << why;
    ASSERT_EQ(ranges->size(), 3u);
    EXPECT_EQ((*ranges)[2].first, 10u);
    EXPECT_EQ((*ranges)[2].last, 20u);
    for (const char* bad : {"4294967297", "0x1", "-1", "0", "", "1,,2", "3,", " 1", "+1", "2-1",
                            "1-", "1-2-3", "１"}) {
        why.clear();
        EXPECT_FALSE(parseItemList(bad, why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

// Export takes ranges of the numbers `list` shows; what names no listed item is an error.
TEST(ExportItems, RangesSaveTheirItemsAndStrayNumbersFail) {
    test::TempDir dir;
    const std::string source = (dir.path() / "Box.pst").string();
    ASSERT_EQ(test::runCli({"generate", source, "--items", "12"}).status, 0);
    const std::string out = (dir.path() / "out").string();

    const auto saved = test::runCli({"export", source, "--out", out, "--items", "2,4-6,5"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out.find("Saved 4 items"), std::string::npos) << saved.out;
    EXPECT_TRUE(test::peersReadWrittenFile(out + "/Box_recovered_by_Brevik.pst", source, 4));

    for (const char* bad : {"4294967297", "0x1", "-1"}) {
        const auto r = test::runCli({"export", source, "--out", out, "--items", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("not an item number"), std::string::npos) << r.err;
    }
    const auto past = test::runCli({"export", source, "--out", out, "--items", "10-13"});
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("up to number 12"), std::string::npos) << past.err;
}

}  // namespace
}  // namespace brevik::cli
