#include <gtest/gtest.h>

#include <filesystem>

#include "engine/format_detection.h"
#include "engine/index_tables.h"
#include "support/corpus.h"

namespace brevik {
namespace {

bool isAnsiSample(const std::string& path) {
    const auto name = std::filesystem::path(path).filename().string();
    return name == "sample2.pst" || name == "test_ansi.pst";
}

TEST(CorpusTables, EveryFileHasItsLayoutAndConsistentTables) {
    BREVIK_REQUIRE_CORPUS();
    const auto files = test::corpusPstFiles();
    ASSERT_EQ(files.size(), 13u);
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        MessageBase base;
        setMessageBasePath(base, path);
        ASSERT_TRUE(base.openFile());
        ASSERT_EQ(detectFormat(base), 0);
        EXPECT_EQ(base.isUnicode(), !isAnsiSample(path));
        EXPECT_EQ(base.formatCode, isAnsiSample(path) ? 15u : 65532u);
        EXPECT_EQ(readCryptMethod(base), CryptMethod::Permute);
        ASSERT_EQ(buildIndexTables(base), 0);

        std::size_t announcedBlocks = 0, announcedNodes = 0;
        bool someReachable = false;
        for (const auto& p : base.leafBbtPages) {
            announcedBlocks += p.entryCount;
            someReachable |= p.reachable != 0;
            EXPECT_EQ(p.pageOffset % 512, 0u);
        }
        for (const auto& p : base.leafNbtPages)
            announcedNodes += p.entryCount;
        EXPECT_TRUE(someReachable);
        EXPECT_GT(base.blockCount(), 0u);
        EXPECT_GT(base.nodeCount(), 0u);
        EXPECT_LE(base.blockCount(), announcedBlocks);
        EXPECT_EQ(base.nodeCount(), announcedNodes);
        for (const auto& b : base.blockTable)
            EXPECT_LE(b.fileOffset, base.fileSize);
        // The message store node is always there.
        bool haveStore = false;
        for (const auto& n : base.nodeTable)
            haveStore |= n.nodeId == 0x21;
        EXPECT_TRUE(haveStore);
        EXPECT_EQ(base.errorCode, 0u);
    }
}

}  // namespace
}  // namespace brevik
