// Exit statuses scripts can trust, and the report of what a file lost and how it was rebuilt.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "support/cli_run.h"
#include "support/corpus.h"
#include "support/damage.h"
#include "support/damaged_items.h"
#include "support/peer_tools.h"
#include "writers/pst/sample_generator.h"

namespace brevik {
namespace {

TEST(ReportCommand, ExitStatusSaysWhetherDataWasLost) {
    BREVIK_REQUIRE_CORPUS();
    test::TempDir dir;
    const std::string healthy = test::corpusPath("pst/outlook1.pst");
    const std::string truncated = (dir.path() / "cut.pst").string();
    test::writeTruncatedCopy(healthy, 80, truncated);
    const std::string garbage = test::corpusPath("eml/test.eml");

    for (const char* command : {"list", "report"}) {
        EXPECT_EQ(test::runCli({command, healthy}).status, 0) << command;
        EXPECT_EQ(test::runCli({command, truncated}).status, 3) << command;
        EXPECT_EQ(test::runCli({command, garbage}).status, 1) << command;
    }
    EXPECT_EQ(test::runCli({"show", truncated, "1"}).status, 3);

    const auto cut = nlohmann::json::parse(test::runCli({"report", "--json", truncated}).out);
    EXPECT_EQ(cut["verdict"], "damaged");
    bool shorter = false;
    for (const auto& k : cut["damage"])
        if (k["kind"] == "file shorter than its header says") {
            shorter = true;
            EXPECT_EQ(k["firstOffsets"][0], std::filesystem::file_size(truncated));
        }
    EXPECT_TRUE(shorter) << cut.dump(2);

    const auto ok = nlohmann::json::parse(test::runCli({"report", "--json", healthy}).out);
    EXPECT_EQ(ok["verdict"], "healthy");
    EXPECT_EQ(ok["rebuilt"]["itemsFromDataAlone"], 1);
    for (const auto& f : ok["folders"]) {
        if (f["path"] == "Top of Personal Folders/Inbox") {
            EXPECT_EQ(f["items"]["live index"], 8);
        }
    }
    // Healthy files: exit 0, and no live item marked damaged (a deleted item's blocks may have
    // been reused, and its marks say so).
    for (const std::string& file : test::corpusPstFiles()) {
        const test::CliRun run = test::runCli({"list", "--json", file});
        EXPECT_EQ(run.status, 0) << file << " is healthy";
        const auto listing = nlohmann::json::parse(run.out);
        for (const auto& i : listing["items"])
            EXPECT_TRUE(!i.contains("damaged") || i["deleted"]) << file << ": " << i.dump();
    }
}

TEST(ReportCommand, ItemsWithDamagedPartsAreListedShownAndReported) {
    test::TempDir dir;
    const std::string path = (dir.path() / "parts.pst").string();
    test::writeDamagedItemsFile(path);

    const test::CliRun list = test::runCli({"list", "--json", path});
    EXPECT_EQ(list.status, 3);
    std::map<std::string, nlohmann::json> listed;
    const auto listing = nlohmann::json::parse(list.out);
    for (const auto& i : listing["items"])
        listed[i["subject"].get<std::string>()] =
            i.contains("damaged") ? i["damaged"] : nlohmann::json::array();
    EXPECT_EQ(listed["long body"], nlohmann::json({"body"}));
    EXPECT_EQ(listed["attachments"], nlohmann::json({"attachment 2 (invoice.pdf)"}));
    EXPECT_EQ(listed["whole"], nlohmann::json::array());

    const test::CliRun report = test::runCli({"report", "--json", path});
    EXPECT_EQ(report.status, 3);
    const auto r = nlohmann::json::parse(report.out);
    EXPECT_EQ(r["verdict"], "damaged");
    ASSERT_EQ(r["damagedItems"].size(), 3u) << r.dump(2);
    for (const auto& d : r["damagedItems"]) {
        EXPECT_EQ(d["folder"], "Top of Personal Folders/Inbox");
        EXPECT_FALSE(d["blockOffsets"].empty());
        if (d["subject"] == "recipients") {
            EXPECT_EQ(d["parts"], nlohmann::json({"recipients"}));
            const test::CliRun show =
                test::runCli({"show", "--json", path, std::to_string(d["number"].get<int>())});
            EXPECT_EQ(show.status, 3);
            const auto shown = nlohmann::json::parse(show.out);
            EXPECT_EQ(shown["damaged"], nlohmann::json({"recipients"}));
            EXPECT_EQ(shown["subject"], "recipients");
        }
    }
    const std::string words = test::runCli({"report", path}).out;
    EXPECT_NE(words.find("\"long body\": lost body; blocks at 0x"), std::string::npos) << words;
}

// Each item as (subject, deleted mark), sorted: what a listing shows.
std::vector<std::pair<std::string, bool>> shownItems(const std::string& path) {
    const auto j = nlohmann::json::parse(test::runCli({"list", "--json", path}).out);
    std::vector<std::pair<std::string, bool>> items;
    for (const auto& i : j["items"])
        items.emplace_back(i["subject"].get<std::string>(), i["deleted"].get<bool>());
    std::sort(items.begin(), items.end());
    return items;
}

// A file Outlook would refuse is "damaged" even when the recovery rebuilt all of it; the exit
// status stays 0 then, and every item keeps its place and its deleted mark.
TEST(ReportCommand, BrokenStructuresAreDamageWithoutLossAndItemsKeepTheirMarks) {
    test::TempDir dir;
    const std::string path = (dir.path() / "sound.pst").string();
    pst::SampleOptions sample;
    sample.items = 300;
    sample.deleted = 10;
    ASSERT_TRUE(pst::generateSamplePst(path, sample).ok());
    const Bytes original = test::readFileBytes(path);
    const auto baseline = shownItems(path);
    const auto sound = nlohmann::json::parse(test::runCli({"report", "--json", path}).out);
    EXPECT_EQ(sound["verdict"], "healthy") << sound.dump(2);

    const std::vector<test::IndexPage> live = test::liveIndexPages(original, true);
    const std::uint64_t roots[] = {test::headerRoot(original, true, true),
                                   test::headerRoot(original, true, false)};
    const test::HeaderLayout h = test::HeaderLayout::of(true);
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> cases = {
        {"header zeroed", [&](Bytes& b) { test::zeroRange(b, 0, h.size); }},
        {"header checksum", [&](Bytes& b) { b[test::kCrcPartialPos] ^= 0xFF; }},
        {"crypt method", [&](Bytes& b) { b[h.cryptPos] = b[h.cryptPos] ? 0 : 1; }},
        {"roots zeroed",
         [&](Bytes& b) { test::zeroRange(b, roots[0], 512), test::zeroRange(b, roots[1], 512); }},
        {"intermediate pages zeroed",
         [&](Bytes& b) {
             for (const test::IndexPage& p : live)
                 if (p.level > 0 && p.offset != roots[0] && p.offset != roots[1])
                     test::zeroRange(b, p.offset, 512);
         }},
        {"allocation map zeroed", [&](Bytes& b) { test::zeroRange(b, 0x4400, 512); }}};
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        Bytes damaged = original;
        damage(damaged);
        const std::string file = (dir.path() / "damaged.pst").string();
        test::writeFileBytes(file, damaged);
        const test::CliRun run = test::runCli({"report", "--json", file});
        EXPECT_EQ(run.status, 0) << run.err;
        const auto report = nlohmann::json::parse(run.out);
        EXPECT_EQ(report["verdict"], "damaged");
        EXPECT_EQ(report["dataLost"], false) << report["damage"].dump(2);
        EXPECT_EQ(shownItems(file), baseline);
    }

    // Half the live leaf node pages gone: an item found from its data and its row in the
    // folder's table are one item, live, not an empty row beside a deleted copy.
    Bytes damaged = original;
    bool odd = false;
    for (const test::IndexPage& p : live)
        if (p.nodeIndex && p.level == 0 && (odd = !odd)) test::zeroRange(damaged, p.offset, 512);
    const std::string file = (dir.path() / "leaves.pst").string();
    test::writeFileBytes(file, damaged);
    const auto items = shownItems(file);
    EXPECT_EQ(items.size(), baseline.size());
    std::map<std::string, int> copies;  // each subject's items beyond the sound file's
    for (const auto& item : baseline)
        --copies[item.first];
    for (const auto& item : items)
        ++copies[item.first];
    for (const auto& [subject, extra] : copies)
        EXPECT_LE(extra, 0) << subject;
}

// A folder whose node is gone while its row survives in its parent's hierarchy table comes back
// under its own name and in its place, with its items.
TEST(ReportCommand, LostFoldersTakeTheNameAndPlaceTheirRowsKeep) {
    test::TempDir dir;
    const std::string path = (dir.path() / "sound.pst").string();
    pst::SampleOptions sample;
    sample.items = 60;
    ASSERT_TRUE(pst::generateSamplePst(path, sample).ok());
    const auto sound = nlohmann::json::parse(test::runCli({"list", "--json", path}).out);
    std::uint32_t sentId = 0, sentItems = 0;
    for (const auto& f : sound["folders"])
        if (f["path"] == "Top of Personal Folders/Sent Items") {
            sentId = f["nodeId"];
            sentItems = f["items"];
        }
    ASSERT_NE(sentId, 0u);

    // Drop the leaf node page that lists the folder (its parent's tables sit on an earlier one).
    Bytes image = test::readFileBytes(path);
    bool dropped = false;
    for (const test::IndexPage& p : test::liveIndexPages(image, true)) {
        if (!p.nodeIndex || p.level != 0) continue;
        for (std::size_t e = 0; e < image[p.offset + 488] && !dropped; ++e)
            if (load64(image.data() + p.offset + e * 32) == sentId) {
                test::zeroRange(image, p.offset, 512);
                dropped = true;
            }
    }
    ASSERT_TRUE(dropped);
    const std::string damaged = (dir.path() / "lost.pst").string();
    test::writeFileBytes(damaged, image);
    const auto listing = nlohmann::json::parse(test::runCli({"list", "--json", damaged}).out);
    bool found = false;
    for (const auto& f : listing["folders"])
        if (f["path"] == "Top of Personal Folders/Sent Items (recovered)") {
            found = true;
            EXPECT_EQ(f["items"], sentItems);
        }
    EXPECT_TRUE(found) << listing["folders"].dump(1);
    EXPECT_EQ(test::runCli({"report", damaged}).status, 3);  // the folder itself is lost
}

}  // namespace
}  // namespace brevik
