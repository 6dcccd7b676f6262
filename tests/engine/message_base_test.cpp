#include "engine/message_base.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/permute.h"
#include "support/pst_image.h"

namespace brevik {
namespace {

Bytes counting(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7);
    return b;
}

TEST(ReadAt, EmptyRequestsAndMissingFilesLeaveTheErrorAlone) {
    auto base = test::openImage(counting(100));
    EXPECT_TRUE(base->readAt(10, 0).empty());
    EXPECT_EQ(base->errorCode, 0u);
    MessageBase closed;
    EXPECT_TRUE(closed.readAt(0, 4).empty());
    EXPECT_EQ(closed.errorCode, 0u);
}

TEST(ReadAt, ShortReadsSetFileAccessError) {
    auto base = test::openImage(counting(100));
    EXPECT_EQ(base->readAt(96, 4),
              Bytes({static_cast<std::uint8_t>(96 * 7), static_cast<std::uint8_t>(97 * 7),
                     static_cast<std::uint8_t>(98 * 7), static_cast<std::uint8_t>(99 * 7)}));
    EXPECT_EQ(base->errorCode, 0u);
    EXPECT_TRUE(base->readAt(97, 4).empty());
    EXPECT_EQ(base->errorCode, ERROR_FILE_ACCESS);
    EXPECT_TRUE(base->readAt(~0ull - 2, 4).empty());
}

TEST(ReadAt, AStoppedRunReadsNothingWithoutAnError) {
    auto base = test::openImage(counting(100));
    base->requestStop();
    EXPECT_TRUE(base->readAt(0, 4).empty());
    EXPECT_EQ(base->errorCode, 0u);
    EXPECT_TRUE(base->stopped());
}

TEST(ReadAt, ConcurrentReadsEachGetTheirOwnBytes) {
    const Bytes image = counting(1 << 16);
    auto base = test::openImage(image);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::uint64_t at = (t * 977 + i * 131) % (image.size() - 64);
                Bytes got = base->readAt(at, 64);
                if (got != Bytes(image.begin() + at, image.begin() + at + 64)) ++mismatches;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(ReadAt, ResetReleasesEverythingAndClosesTheFile) {
    auto base = test::openImage(counting(1024));
    base->blockTable.resize(3);
    base->errorCode = ERROR_FILE_ACCESS;
    base->resultOk = 1;
    base->reset();
    EXPECT_TRUE(base->blockTable.empty());
    EXPECT_EQ(base->source, nullptr);
    EXPECT_EQ(base->errorCode, 0u);
    EXPECT_EQ(base->resultOk, 0);
    EXPECT_EQ(base->fileName, "image.pst");
}

TEST(Permute, KnownBytesAndRoundTrip) {
    std::uint8_t sig[2] = {0xFF, 0x93};
    decodePermute(sig, 2);
    EXPECT_EQ(sig[0], 0xEC);
    EXPECT_EQ(sig[1], 0xBC);
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<std::uint8_t>(i);
    Bytes copy = all;
    encodePermute(copy.data(), copy.size());
    EXPECT_NE(copy, all);
    decodePermute(copy.data(), copy.size());
    EXPECT_EQ(copy, all);

    // Long runs (looked up many bytes at a time where the processor allows) match byte-by-byte
    // lookups at every offset and with every tail length.
    Bytes bytes(700);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    for (std::size_t offset : {0u, 1u, 3u})
        for (std::size_t length : {63u, 64u, 65u, 127u, 256u, 511u, 697u - 3u}) {
            Bytes bulk = bytes, single = bytes;
            decodePermute(bulk.data() + offset, length);
            for (std::size_t i = offset; i < offset + length; ++i)
                decodePermute(single.data() + i, 1);
            ASSERT_EQ(bulk, single) << offset << " " << length;
            encodePermute(bulk.data() + offset, length);
            ASSERT_EQ(bulk, bytes) << offset << " " << length;
        }
}

TEST(MessageBasePath, SplitsFolderAndName) {
    MessageBase base;
    setMessageBasePath(base, "/data/mail/Outlook.pst");
    EXPECT_EQ(base.folderPath, "/data/mail");
    EXPECT_EQ(base.fileName, "Outlook.pst");
    EXPECT_EQ(base.workPath, "/data/mail/Outlook.pst");
}

}  // namespace
}  // namespace brevik
