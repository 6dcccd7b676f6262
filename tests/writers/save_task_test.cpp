// Saving a recovered base as .pst: what our own recovery finds in the saved file must equal
// what it found in the source, item by item and property by property.
#include "writers/pst/save_task.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "message/item_summary.h"
#include "recovery/folder_tree.h"
#include "recovery/recovery_pass.h"
#include "support/corpus.h"
#include "support/peer_check.h"
#include "writer_test_util.h"
#include "writers/pst/recovered_store.h"
#include "writers/pst/sample_generator.h"

namespace brevik::pst {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

std::unique_ptr<RecoveredBase> recover(const std::string& path) {
    auto base = std::make_unique<RecoveredBase>();
    setMessageBasePath(*base, path);
    openMessageBase(*base);
    return base;
}

// Folder name -> sorted subjects of its items, for the folders that hold items.
std::map<std::string, std::multiset<std::string>> itemsByFolder(const RecoveredBase& base) {
    std::map<std::string, std::multiset<std::string>> out;
    for (std::uint32_t f = 0; f < base.folderCount; ++f) {
        const FolderEntry& e = base.folderEntries[f];
        for (std::uint32_t i = e.firstItem; i < e.endItem; ++i)
            out[std::string(folderName(base, f))].insert(base.itemSummaries[i].subjectText);
    }
    return out;
}

// A comparable text of an item: its plain properties, recipients and attachments, with named
// properties keyed by name so that files with different maps compare equal.
std::string fingerprint(RecoveredBase& base, std::uint32_t index) {
    const RecoveredNames names = recoveredNames(base);
    const auto item = recoveredItem(base, index, names);
    if (!item) return "unreadable";
    std::function<std::string(const Item&)> text = [&](const Item& it) {
        auto props = [&](const PropertyList& list) {
            std::map<std::string, Bytes> sorted;
            for (const Property& p : list) {
                std::string key = std::to_string(p.id) + ":" + std::to_string(p.type);
                if (p.id >= 0x8000) {
                    const NamedProperty& n = names.table.at(p.id - 0x8000);
                    key = std::string(n.guid.begin(), n.guid.end()) + n.name +
                          std::to_string(n.numericId) + ":" + std::to_string(p.type);
                }
                sorted.emplace(key, p.value);
            }
            std::string s;
            for (const auto& [k, v] : sorted)
                s += k + "=" + std::string(v.begin(), v.end()) + ";";
            return s;
        };
        std::string s = props(it.properties) + "|R";
        for (const Recipient& r : it.recipients)
            s += props(r.properties) + "/";
        s += "|A";
        for (const Attachment& a : it.attachments)
            s += props(a.properties) + std::string(a.data.begin(), a.data.end()) +
                 (a.embedded ? "{" + text(*a.embedded) + "}" : "") + "/";
        return s;
    };
    return text(*item);
}

// Fingerprints of the items that can be read (the others cannot be saved either).
std::multiset<std::string> fingerprints(RecoveredBase& base) {
    std::multiset<std::string> out;
    for (std::uint32_t i = 0; i < base.itemCount; ++i)
        if (std::string f = fingerprint(base, i); f != "unreadable") out.insert(std::move(f));
    return out;
}

// Equal multisets, or the first elements found on one side only (shortened).
::testing::AssertionResult sameItems(const std::multiset<std::string>& a,
                                     const std::multiset<std::string>& b) {
    if (a == b) return ::testing::AssertionSuccess();
    std::vector<std::string> onlyA, onlyB;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyA));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyB));
    // Both sides from where the first pair starts to differ.
    std::size_t at = 0;
    if (!onlyA.empty() && !onlyB.empty())
        while (at < onlyA[0].size() && at < onlyB[0].size() && onlyA[0][at] == onlyB[0][at])
            ++at;
    at = at > 100 ? at - 100 : 0;
    auto shorten = [at](const std::vector<std::string>& v) {
        return v.empty() ? std::string("-") : v.front().substr(std::min(at, v.front().size()), 400);
    };
    return ::testing::AssertionFailure()
           << onlyA.size() << " only in the first, " << onlyB.size()
           << " only in the second\nfirst: " << shorten(onlyA) << "\nsecond: " << shorten(onlyB);
}

class SaveTask : public ::testing::Test {
  protected:
    void SetUp() override {
        SampleOptions options;
        options.items = 30;
        options.deleted = 3;
        options.orphans = 2;
        source_ = dir_.file("Mail.pst");
        ASSERT_TRUE(generateSamplePst(source_, options).ok());
        base_ = recover(source_);
        ASSERT_EQ(base_->resultOk, 1);
        ASSERT_EQ(base_->itemCount, 35u);
    }
    ScratchDir dir_;
    std::string source_;
    std::unique_ptr<RecoveredBase> base_;
    std::atomic<bool> stop_{false};
};

TEST_F(SaveTask, SavedFileRecoversToTheSameTreeItemsAndProperties) {
    std::vector<int> progress;
    const auto result = savePst(
        *base_, dir_.file("out"), nullptr, stop_, [&](int p) { progress.push_back(p); },
        dir_.file("tmp"));
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.outputPath,
              (fs::path(dir_.file("out")) / "Mail_recovered_by_Brevik.pst").string());
    EXPECT_EQ(result.items, 35u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);

    EXPECT_TRUE(test::peersReadWrittenFile(result.outputPath, source_, 35));
    auto saved = recover(result.outputPath);
    ASSERT_EQ(saved->resultOk, 1);
    // Deleted items come back as ordinary items of the folder they were found in; the orphans
    // keep a folder of their own.
    EXPECT_EQ(itemsByFolder(*saved), itemsByFolder(*base_));
    std::size_t deleted = 0;
    for (std::uint32_t i = 0; i < saved->itemCount; ++i)
        deleted += saved->itemSummaries[i].deletedMark;
    EXPECT_EQ(deleted, 0u);
    EXPECT_TRUE(sameItems(fingerprints(*saved), fingerprints(*base_)));

    // Written again from the saved file: the same items and properties once more.
    const auto again =
        savePst(*saved, dir_.file("out2"), nullptr, stop_, nullptr, dir_.file("tmp"));
    ASSERT_TRUE(again.ok) << again.message;
    auto twice = recover(again.outputPath);
    EXPECT_TRUE(sameItems(fingerprints(*twice), fingerprints(*saved)));
    EXPECT_EQ(test::countFiles(dir_.file("tmp")), 0u);
}

TEST_F(SaveTask, SelectionSavesExactlyTheChosenItemsInTheirFolders) {
    // Two items of the Inbox and one of Archive 2024 (below Inbox/Projects).
    std::vector<std::uint32_t> chosen;
    std::map<std::string, std::multiset<std::string>> expected;
    for (std::uint32_t f = 0; f < base_->folderCount; ++f) {
        const FolderEntry& e = base_->folderEntries[f];
        const std::string name(folderName(*base_, f));
        const std::size_t take = name == "Inbox" ? 2 : name == "Archive 2024" ? 1 : 0;
        for (std::uint32_t i = e.firstItem; i < e.endItem && i < e.firstItem + take; ++i) {
            chosen.push_back(i);
            expected[name].insert(base_->itemSummaries[i].subjectText);
        }
    }
    ASSERT_EQ(chosen.size(), 3u);
    chosen.push_back(100000);  // names no item: skipped, not fatal
    const auto result =
        savePst(*base_, dir_.file("out"), &chosen, stop_, nullptr, dir_.file("tmp"));
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.items, 3u);
    EXPECT_EQ(result.skippedSelections, 1u);
    EXPECT_TRUE(test::peersReadWrittenFile(result.outputPath, source_, 3));
    auto saved = recover(result.outputPath);
    EXPECT_EQ(itemsByFolder(*saved), expected);
    std::set<std::string> folders;
    for (std::uint32_t f = 0; f < saved->folderCount; ++f)
        folders.insert(std::string(folderName(*saved, f)));
    EXPECT_TRUE(folders.count("Projects"));  // the way down to Archive 2024
    EXPECT_FALSE(folders.count("Contacts"));
    EXPECT_FALSE(folders.count("Sent Items"));
}

TEST_F(SaveTask, StopIsReportedAsCanceledAndLeavesNothing) {
    stop_ = true;
    const auto result =
        savePst(*base_, dir_.file("out"), nullptr, stop_, nullptr, dir_.file("tmp"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.canceled);
    // The outcome is the save's own: the base still describes its recovery.
    EXPECT_EQ(base_->resultOk, 1);
    EXPECT_EQ(base_->errorCode, 0u);
    EXPECT_EQ(test::countFiles(dir_.file("out")), 0u);
    EXPECT_EQ(test::countFiles(dir_.file("tmp")), 0u);

    // A later failure of another kind does not keep reporting a cancel.
    stop_ = false;
    std::ofstream(dir_.file("blocker")) << "x";
    const auto failed =
        savePst(*base_, dir_.file("blocker/sub"), nullptr, stop_, nullptr, dir_.file("tmp"));
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.canceled);
    EXPECT_NE(failed.message.find("cannot create"), std::string::npos) << failed.message;
}

// Items read ahead on other threads are written in the same order: the same file, byte for
// byte, as reading each one when the writer needs it; a selection too.
TEST_F(SaveTask, ReadingAheadOnThreadsWritesTheSameBytes) {
    const std::vector<std::uint32_t> selection = {34, 2, 17, 5, 6, 30};
    for (const std::vector<std::uint32_t>* selected :
         {static_cast<decltype(&selection)>(nullptr), &selection}) {
        std::vector<Bytes> written;
        for (unsigned threads : {1u, 2u, 5u}) {
            RecoveredWriteOptions options;
            options.selectedItems = selected;
            options.threads = threads;
            const std::string path = dir_.file("t" + std::to_string(threads) + ".pst");
            const auto result = writeRecoveredStore(*base_, path, options);
            ASSERT_TRUE(result.status.ok()) << result.status.message;
            EXPECT_EQ(result.items, selected ? selection.size() : 35u);
            written.push_back(test::readFile(path));
        }
        EXPECT_EQ(written[0], written[1]);
        EXPECT_EQ(written[0], written[2]);
    }
}

TEST(SaveTaskName, OnlyARealPstEndingIsRemoved) {
    EXPECT_EQ(recoveredPstName("Mail.pst"), "Mail_recovered_by_Brevik.pst");
    EXPECT_EQ(recoveredPstName("ARCHIVE.PST"), "ARCHIVE_recovered_by_Brevik.pst");
    EXPECT_EQ(recoveredPstName("backup"), "backup_recovered_by_Brevik.pst");
    EXPECT_EQ(recoveredPstName("old.ost"), "old.ost_recovered_by_Brevik.pst");
    EXPECT_EQ(recoveredPstName(".pst"), "_recovered_by_Brevik.pst");
}

TEST(SaveTaskCorpus, EverySampleFileSavesAndRecoversToTheSameItems) {
    BREVIK_REQUIRE_CORPUS();
    ScratchDir dir;
    const std::atomic<bool> stop{false};
    for (const std::string& path : test::corpusPstFiles()) {
        SCOPED_TRACE(path);
        auto source = recover(path);
        if (source->resultOk != 1) continue;
        const auto result =
            savePst(*source, dir.file("out"), nullptr, stop, nullptr, dir.file("tmp"));
        ASSERT_TRUE(result.ok) << result.message;
        auto saved = recover(result.outputPath);
        ASSERT_EQ(saved->resultOk, 1);
        EXPECT_EQ(saved->itemCount, result.items);
        std::multiset<std::string> a, b;
        for (std::uint32_t i = 0; i < source->itemCount; ++i)
            if (!source->messageEntries[i].loadFailed)
                a.insert(source->itemSummaries[i].subjectText);
        for (std::uint32_t i = 0; i < saved->itemCount; ++i)
            b.insert(saved->itemSummaries[i].subjectText);
        EXPECT_EQ(a, b);
        EXPECT_TRUE(sameItems(fingerprints(*saved), fingerprints(*source)));
        // Round trip: the saved file saved again holds the same items and properties.
        const auto again =
            savePst(*saved, dir.file("again"), nullptr, stop, nullptr, dir.file("tmp"));
        ASSERT_TRUE(again.ok) << again.message;
        auto twice = recover(again.outputPath);
        EXPECT_TRUE(sameItems(fingerprints(*twice), fingerprints(*saved)));
        EXPECT_TRUE(test::peersReadWrittenFile(result.outputPath, path));
    }
}

// A damaged source saves to a file other readers take whole: what it cannot carry over (values
// of unknown types, a named property without a name) is left out and counted.
TEST(SaveTaskCorpus, TruncatedSampleSavesToAFileOtherReadersOpen) {
    BREVIK_REQUIRE_CORPUS();
    ScratchDir dir;
    Bytes bytes = test::readFile(test::corpusPath("pst/submessage.pst"));
    ASSERT_GT(bytes.size(), 75245u);
    bytes.resize(75245);
    const std::string source = dir.file("cut.pst");
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    auto base = recover(source);
    ASSERT_EQ(base->resultOk, 1);
    const std::atomic<bool> stop{false};
    const auto result = savePst(*base, dir.file("out"), nullptr, stop, nullptr);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_GT(result.droppedValues, 0u);
    EXPECT_TRUE(test::peersReadWrittenFile(result.outputPath, source, result.items));
}

}  // namespace
}  // namespace brevik::pst
