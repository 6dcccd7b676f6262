// The operating system's file calls. The Windows build runs these under Wine, where names in
// UTF-8, paths past 260 characters and files other programs hold open take calls of their own.
#include "engine/native_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/byte_source.h"

namespace brevik::native {
namespace {

namespace fs = std::filesystem;

// A scratch folder whose name is not ASCII, so every call below must pass UTF-8 on intact.
struct Scratch {
    std::string path = utf8FromPath(fs::temp_directory_path()) + "/brevik-Grüße-日本-" +
                       std::to_string(std::random_device{}());
    Scratch() { EXPECT_FALSE(makeFolder(path).failed()) << path; }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(pathFromUtf8(path), ec);
    }
};

std::string readAll(const std::string& path) {
    std::string why;
    const auto source = FileSource::open(path, &why);
    if (!source) return "(cannot open: " + why + ")";
    Bytes bytes(source->size());
    return source->readExact(0, bytes) ? std::string(bytes.begin(), bytes.end()) : "(short)";
}

TEST(NativeFiles, WritesReplacesAndRemovesFilesDeepBelowLongPaths) {
    Scratch dir;
    std::string deep = dir.path;
    while (deep.size() < 300) {  // past MAX_PATH
        deep += "/" + std::string(40, 'd');
        ASSERT_FALSE(makeFolder(deep).failed()) << deep;
    }
    EXPECT_EQ(makeFolder(deep).kind, IoErrorKind::Exists);
    EXPECT_EQ(fileKind(deep), FileKind::Folder);

    const std::string working = deep + "/_work.tmp", final = deep + "/Zoë.pst";
    WritableFile out;
    ASSERT_FALSE(out.open(working, WritableFile::Mode::Exclusive).failed());
    EXPECT_EQ(WritableFile().open(working, WritableFile::Mode::Exclusive).kind,
              IoErrorKind::Exists);
    ASSERT_FALSE(out.append("hello ", 6).failed());
    ASSERT_FALSE(out.writeAt(6, "world!!", 7).failed());
    ASSERT_FALSE(out.resize(11).failed());
    ASSERT_FALSE(out.sync().failed());
    ASSERT_FALSE(out.close().failed());

    WritableFile old;
    ASSERT_FALSE(old.open(final, WritableFile::Mode::Truncate).failed());
    ASSERT_FALSE(old.append("old", 3).failed());
    ASSERT_FALSE(old.close().failed());
    ASSERT_FALSE(renameReplace(working, final).failed());
    EXPECT_EQ(fileKind(working), FileKind::Missing);
    EXPECT_EQ(fileKind(final), FileKind::Regular);
    EXPECT_EQ(readAll(final), "hello world");

    EXPECT_TRUE(removeFile(final));
    EXPECT_FALSE(removeFile(final));
}

// Outlook keeps its data file open for writing while it runs: the file is still read, and
// removing or renaming it meanwhile does not fail the reader.
TEST(NativeFiles, AFileAnotherProgramHoldsOpenForWritingIsRead) {
    Scratch dir;
    const std::string path = dir.path + "/Outlook.pst";
    WritableFile outlook;
    ASSERT_FALSE(outlook.open(path, WritableFile::Mode::Truncate).failed());
    ASSERT_FALSE(outlook.append("!BDN", 4).failed());
    ASSERT_FALSE(outlook.sync().failed());

    std::string why;
    const auto source = FileSource::open(path, &why);
    ASSERT_TRUE(source) << why;
    ASSERT_FALSE(renameReplace(path, dir.path + "/moved.pst").failed());
    Bytes magic(4);
    ASSERT_TRUE(source->readExact(0, magic));
    EXPECT_EQ(std::string(magic.begin(), magic.end()), "!BDN");
    EXPECT_FALSE(FileSource::open(dir.path, &why));
    EXPECT_EQ(why, "is a directory");
}

}  // namespace
}  // namespace brevik::native
