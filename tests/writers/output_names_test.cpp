// Names made from subjects, folder names and attachment names stay single, plain file names.
#include "writers/files/output_names.h"

#include <gtest/gtest.h>

#include "engine/native_files.h"
#include "writer_test_util.h"
#include "writers/files/staged_file.h"

namespace brevik::files {
namespace {

TEST(OutputNames, AnyTextBecomesOneSafeName) {
    EXPECT_EQ(safeName("RE: a/b\\c"), "RE_ a_b_c");
    EXPECT_EQ(safeName("../../etc/passwd"), "__._etc_passwd");
    EXPECT_EQ(safeName("a..b"), "a_.b");
    EXPECT_EQ(safeName(".."), "");
    EXPECT_EQ(safeName("  .hidden. "), "hidden");
    EXPECT_EQ(safeName("tab\there\x7f\x01"), "tab_here__");
    EXPECT_EQ(safeName("CON"), "_CON");
    EXPECT_EQ(safeName("lpt1.txt"), "_lpt1.txt");
    EXPECT_EQ(safeName("conout$.log"), "_conout$.log");
    EXPECT_EQ(safeName("AUX .tar.gz"), "_AUX .tar.gz");
    EXPECT_EQ(safeName("Console"), "Console");
    EXPECT_EQ(safeName("bad \xff utf8"), "bad _ utf8");
    EXPECT_EQ(safeName("Grüße 日本"), "Grüße 日本");
    // Cut at a character boundary: "日" is three bytes.
    EXPECT_EQ(safeName("日日日", 7), "日日");
    EXPECT_LE(safeName(std::string(1000, 'x')).size(), kMaxStemBytes);

    EXPECT_EQ(attachmentFileName("../../evil"), "evil");
    EXPECT_EQ(attachmentFileName("C:\\Users\\x\\report.pdf"), "report.pdf");
    EXPECT_EQ(attachmentFileName("dir/.."), "attachment");
    EXPECT_EQ(itemFileStem(7, "Hello: world?"), "7_Hello_ world_");
    EXPECT_EQ(itemFileStem(8, ""), "8");
}

// Each name made is a plain file of its own where it is written, not a device or another name.
TEST(OutputNames, EveryNameMadeIsCreatedAsItIs) {
    test::ScratchDir dir;
    const char* texts[] = {"CON",      "aux.txt",      "Re: ok?",    "trailing. .",
                           "com1.log", "tab\tand\x01", "<a>|\"b\"*", "Grüße 日本"};
    for (const char* text : texts) {
        const std::string name = safeName(text) + ".eml";
        ASSERT_TRUE(writeStaged(dir.path().string(), name, text).ok()) << text;
        EXPECT_EQ(native::fileKind(dir.path().string() + "/" + name), native::FileKind::Regular)
            << name;
    }
    EXPECT_EQ(test::countFiles(dir.path()), std::size(texts));
}

TEST(OutputNames, CollisionsAndExistingFoldersAreNumbered) {
    NameSet names;
    EXPECT_EQ(names.claim("Inbox", ""), "Inbox");
    EXPECT_EQ(names.claim("inbox", ""), "inbox (2)");
    EXPECT_EQ(names.claim("1_a", ".eml"), "1_a.eml");
    EXPECT_EQ(names.claim("1_A", ".eml"), "1_A (2).eml");

    test::ScratchDir dir;
    std::string first, second;
    ASSERT_TRUE(makeFreshFolder(dir.path().string(), "Out", first).ok());
    ASSERT_TRUE(makeFreshFolder(dir.path().string(), "Out", second).ok());
    EXPECT_EQ(first, dir.file("Out"));
    EXPECT_EQ(second, dir.file("Out (2)"));
}

}  // namespace
}  // namespace brevik::files
