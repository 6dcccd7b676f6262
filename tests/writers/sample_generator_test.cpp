#include "writers/pst/sample_generator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <sstream>

#include "cli/export_command.h"
#include "message/text.h"
#include "support/damage.h"
#include "support/peer_check.h"
#include "writer_test_util.h"

namespace brevik::pst {
namespace {

using test::ScratchDir;

TEST(SampleGenerator, SameSeedGivesTheSameFileAndAnotherSeedDoesNot) {
    ScratchDir dir;
    SampleOptions options;
    options.items = 30;
    options.deleted = 2;
    options.orphans = 1;
    ASSERT_TRUE(generateSamplePst(dir.file("a.pst"), options).ok());
    ASSERT_TRUE(generateSamplePst(dir.file("b.pst"), options).ok());
    options.seed = 2;
    ASSERT_TRUE(generateSamplePst(dir.file("c.pst"), options).ok());
    const Bytes a = test::readFile(dir.file("a.pst"));
    EXPECT_EQ(a, test::readFile(dir.file("b.pst")));
    EXPECT_NE(a, test::readFile(dir.file("c.pst")));
}

TEST(SampleGenerator, ItemsOfEveryKindLandInTheirFolders) {
    SampleOptions options;
    options.items = 40;
    options.deleted = 3;
    options.orphans = 2;
    SampleGenerator gen(options);
    EXPECT_EQ(gen.total(), 45u);
    std::map<SampleFolder, std::size_t> live;
    std::map<std::string, std::size_t> classes;
    std::size_t deleted = 0, orphans = 0, bigAttachments = 0, htmlBodies = 0, embedded = 0;
    while (!gen.done()) {
        const SampleItem s = gen.next();
        const std::string cls = sampleText(s.item.properties, 0x001A);
        ++classes[cls];
        if (s.placement == SamplePlacement::Deleted) ++deleted;
        if (s.placement == SamplePlacement::Orphan) ++orphans;
        if (s.placement == SamplePlacement::Live) ++live[s.folder];
        if (s.folder == SampleFolder::Contacts) {
            EXPECT_EQ(cls, "IPM.Contact");
        }
        if (s.folder == SampleFolder::Notes) {
            EXPECT_EQ(cls, "IPM.StickyNote");
        }
        for (const Attachment& a : s.item.attachments) {
            bigAttachments += a.data.size() > 8176;
            embedded += a.embedded != nullptr;
        }
        htmlBodies += findProperty(s.item.properties, 0x1013) != nullptr;
    }
    EXPECT_EQ(deleted, 3u);
    EXPECT_EQ(orphans, 2u);
    EXPECT_EQ(live.size(), 6u);  // every folder gets items
    EXPECT_EQ(classes["IPM.Contact"], 4u);
    EXPECT_EQ(classes["IPM.StickyNote"], 4u);
    EXPECT_GT(bigAttachments, 0u);
    EXPECT_GT(htmlBodies, 0u);
    EXPECT_GT(embedded, 0u);
}

TEST(SampleGenerator, OurReaderFindsTheFoldersAndItemsWritten) {
    ScratchDir dir;
    SampleOptions options;
    options.items = 20;
    ASSERT_TRUE(generateSamplePst(dir.file("s.pst"), options).ok());
    auto base = test::openWritten(dir.file("s.pst"));
    ASSERT_TRUE(base);
    std::map<std::string, std::uint32_t> folderByName;
    std::map<std::uint32_t, std::size_t> itemsByParent;
    for (const NodeEntry& n : base->nodeTable) {
        if ((n.nodeId & 0x1F) == 4) ++itemsByParent[n.parentNodeId];
        if ((n.nodeId & 0x1F) != 2) continue;
        const auto rows = test::readNode(*base, n);
        ASSERT_EQ(rows.size(), 1u);
        const auto* name = test::findValue(rows[0], 0x3001);
        ASSERT_TRUE(name && name->data);
        folderByName[utf16ToUtf8(name->data->data(), name->data->size())] = n.nodeId;
    }
    for (const char* name : {"Inbox", "Projects", "Archive 2024", "Sent Items", "Contacts", "Notes",
                             "Deleted Items", "Top of Personal Folders"})
        EXPECT_TRUE(folderByName.count(name)) << name;
    EXPECT_EQ(itemsByParent[folderByName["Inbox"]], 8u);
    EXPECT_EQ(itemsByParent[folderByName["Contacts"]], 2u);
    EXPECT_EQ(itemsByParent[folderByName["Notes"]], 2u);
}

TEST(SampleGenerator, EveryEncodingRecoversTheSameItemsWhateverTheCryptByteSays) {
    ScratchDir dir;
    using namespace std::chrono_literals;
    auto recovered = [&](bool permute, bool cyclic, std::optional<std::uint8_t> crypt) {
        SampleOptions options;
        options.items = 40;
        options.deleted = 3;
        options.orphans = 2;
        options.permute = permute;
        options.cyclic = cyclic;
        EXPECT_TRUE(generateSamplePst(dir.file("e.pst"), options).ok());
        Bytes image = test::readFile(dir.file("e.pst"));
        if (crypt) image[513] = *crypt;
        const test::RecoveryOutcome r = test::recoverImage(image, 30s);
        EXPECT_TRUE(r.resultOk);
        return r;
    };
    const test::RecoveryOutcome plain = recovered(false, false, std::nullopt);
    EXPECT_EQ(plain.items.size(), 45u);
    EXPECT_EQ(recovered(true, false, std::nullopt).items, plain.items);
    for (auto crypt : {std::optional<std::uint8_t>(), std::optional<std::uint8_t>(0),
                       std::optional<std::uint8_t>(1), std::optional<std::uint8_t>(0x7E)}) {
        const test::RecoveryOutcome cyclic = recovered(false, true, crypt);
        EXPECT_EQ(cyclic.items, plain.items) << "crypt byte " << int(crypt.value_or(2));
        EXPECT_EQ(cyclic.deletedItems, plain.deletedItems);
    }
}

TEST(GenerateCommand, WritesTheFileAndReportsCounts) {
    ScratchDir dir;
    cli::GenerateOptions options;
    options.out = dir.file("g.pst");
    options.items = 12;
    options.deleted = 1;
    options.orphans = 1;
    std::ostringstream out, err;
    ASSERT_EQ(cli::runGenerate(options, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("12 items, 1 deleted, 1 orphaned"), std::string::npos) << out.str();
    EXPECT_TRUE(std::filesystem::exists(options.out));

    options.out = dir.file("missing-folder-is-made/then/g.pst");
    EXPECT_EQ(cli::runGenerate(options, out, err), 0);
    std::ofstream(dir.file("file")) << "x";
    options.out = dir.file("file/g.pst");
    std::ostringstream err2;
    EXPECT_EQ(cli::runGenerate(options, out, err2), 1);
    EXPECT_NE(err2.str().find("cannot create"), std::string::npos) << err2.str();
}

TEST(ExportCommand, SavesAllOrTheNumberedItemsOfARecoveredFile) {
    ScratchDir dir;
    SampleOptions sample;
    sample.items = 8;
    sample.deleted = 1;
    ASSERT_TRUE(generateSamplePst(dir.file("Box.pst"), sample).ok());

    cli::ExportOptions options;
    options.file = dir.file("Box.pst");
    options.outFolder = dir.file("out");
    std::ostringstream out, err;
    ASSERT_EQ(cli::runExport(options, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("Saved 9 items"), std::string::npos) << out.str();
    const std::string saved = dir.file("out/Box_recovered_by_Brevik.pst");
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_TRUE(test::peersReadWrittenFile(saved, options.file, 9));

    options.outFolder = dir.file("some");
    options.items = {{1, 1}, {3, 3}};
    std::ostringstream out2;
    ASSERT_EQ(cli::runExport(options, out2, err), 0) << err.str();
    EXPECT_NE(out2.str().find("Saved 2 items"), std::string::npos) << out2.str();

    options.items = {{999, 999}};
    std::ostringstream err3;
    EXPECT_EQ(cli::runExport(options, out, err3), 1);
    EXPECT_NE(err3.str().find("no item number 999"), std::string::npos) << err3.str();

    options.items.clear();
    options.format = "doc";
    EXPECT_EQ(cli::runExport(options, out, err), 2);
    options.format = "pst";
    options.file = dir.file("missing.pst");
    std::ostringstream err4;
    EXPECT_EQ(cli::runExport(options, out, err4), 1);
    EXPECT_NE(err4.str().find("cannot open"), std::string::npos) << err4.str();
}

}  // namespace
}  // namespace brevik::pst
