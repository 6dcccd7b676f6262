// brevik-cli export --format msg|eml|mbox.
#include <gtest/gtest.h>

#include <filesystem>

#include "recovery/recovery_pass.h"
#include "support/cli_run.h"
#include "support/corpus.h"
#include "support/damage.h"
#include "support/peer_tools.h"
#include "support/pst_image.h"
#include "support/written_store.h"

namespace brevik::cli {
namespace {

namespace fs = std::filesystem;

TEST(ExportFiles, SavesTheChosenItemsInTheChosenFormat) {
    BREVIK_REQUIRE_CORPUS();
    const fs::path out =
        fs::temp_directory_path() / ("brevik-export-" + std::to_string(::getpid()));
    fs::remove_all(out);
    const std::string file = test::corpusPath("pst/outlook1.pst");
    const auto eml =
        test::runCli({"export", file, "--format", "eml", "--out", out.string(), "--items", "1,16"});
    EXPECT_EQ(eml.status, 0) << eml.err;
    EXPECT_NE(eml.out.find("Saved 1 items"), std::string::npos) << eml.out;  // 16 is a meeting
    EXPECT_TRUE(
        fs::exists(out / "Recovered_outlook1_as_eml_by_Brevik/Inbox/1_Multiple attachments.eml"));

    const auto msg = test::runCli({"export", file, "--format", "msg", "--out", out.string()});
    EXPECT_EQ(msg.status, 0) << msg.err;
    EXPECT_TRUE(
        fs::exists(out / "Recovered_outlook1_as_msg_by_Brevik/Calendar/16_Weekly meeting.msg"));
    // An older copy of an item, found from its data alone, is a deleted item of that item's
    // folder, not of a folder made up for it.
    EXPECT_TRUE(fs::exists(out / "Recovered_outlook1_as_msg_by_Brevik/Inbox/"
                                 "9_check sent date of this message.msg"));
    EXPECT_FALSE(fs::exists(out / "Recovered_outlook1_as_msg_by_Brevik/Lost and Found_1"));

    EXPECT_NE(test::runCli({"export", file, "--format", "doc", "--out", out.string()}).status, 0);
    fs::remove_all(out);
}

// An item of which only its row is left is saved with what the row holds, not dropped.
TEST(ExportFiles, ItemsLeftOnlyAsRowsAreSavedFromTheirRows) {
    test::TempDir dir;
    const std::string path = (dir.path() / "rows.pst").string();
    ASSERT_TRUE(test::writeInbox(path, {test::mailItem("first"), test::mailItem("second")}));
    Bytes image = test::readFileBytes(path);
    const auto sound = test::openImage(image);
    openMessageBase(*sound);
    ASSERT_EQ(sound->itemCount, 2u);
    const std::uint32_t second = sound->itemSummaries[0].subjectText == "second" ? 0 : 1;
    const BlockEntry& data = sound->blockTable[sound->messageEntries[second].dataIndex];
    std::fill_n(&image[data.fileOffset], data.byteCount, 0xEE);
    const std::string damaged = (dir.path() / "damaged.pst").string();
    test::writeFileBytes(damaged, image);

    const auto run = test::runCli(
        {"export", damaged, "--format", "eml", "--out", (dir.path() / "out").string()});
    EXPECT_EQ(run.status, 3) << run.err;  // the item's body is lost
    EXPECT_NE(run.out.find("Saved 2 items"), std::string::npos) << run.out << run.err;
}

}  // namespace
}  // namespace brevik::cli
