#include "engine/range_reader.h"

#include "engine/byte_source.h"
#include "engine/read_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <unistd.h>

namespace brevik {
namespace {

// A base over an image of patterned bytes, counting the reads that reach it.
struct CountedBase {
    explicit CountedBase(std::size_t size) : image(size) {
        for (std::size_t i = 0; i < size; ++i)
            image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
        auto source = std::make_unique<FailingSource>(image);
        counter = source.get();
        base.attachSource(std::move(source));
    }
    Bytes image;
    const FailingSource* counter;
    MessageBase base;
};

TEST(RangeReader, ServesEachRangeAsADirectReadWouldWithFewerReads) {
    CountedBase counted(1 << 16);
    const Bytes& image = counted.image;
    const FailingSource& counter = *counted.counter;
    MessageBase& base = counted.base;

    // Close neighbours, one far away, one going backwards, and one past the end of the file.
    const std::vector<FileRange> ranges = {{512, 512},  {1024, 100}, {4096, 512},
                                           {60000, 64}, {2048, 16},  {65500, 100}};
    RangeReader reader(base, ranges);
    for (std::size_t i = 0; i + 1 < ranges.size(); ++i) {
        const ByteView got = reader.read(i);
        ASSERT_EQ(got.size(), ranges[i].size) << i;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), image.begin() + ranges[i].offset)) << i;
    }
    EXPECT_EQ(counter.reads(), 3u);  // the first three share a read
    EXPECT_EQ(base.errorCode, 0u);
    EXPECT_TRUE(reader.read(ranges.size() - 1).empty());
    EXPECT_EQ(base.errorCode, ERROR_FILE_ACCESS);
}

// A window reads neighbouring blocks at once and serves the reads that fall inside them, on its
// own thread and while it is open; a stretch past the end of the file is left to fail alone.
TEST(ReadWindow, ServesTheBlocksItReadAsTheFileWould) {
    Bytes image(1 << 16);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    auto source = std::make_unique<FailingSource>(image);
    const FailingSource& counter = *source;
    MessageBase base;
    base.attachSource(std::move(source));
    base.blockTable = {
        {4096, 100, 1, 1, 4}, {4300, 64, 1, 1, 8}, {40000, 512, 1, 1, 12}, {65500, 100, 1, 1, 16}};
    auto read = [&](std::uint64_t offset, std::size_t size) {
        Bytes out(size);
        EXPECT_TRUE(base.readAt(offset, out)) << offset;
        EXPECT_TRUE(std::equal(out.begin(), out.end(), image.begin() + offset)) << offset;
    };
    {
        ReadWindow window(base);
        const BlockIndex blocks[] = {1, 0, 2, 3, 7, -1};  // any order; invalid ones skipped
        window.readBlocks(blocks);
        EXPECT_EQ(counter.reads(), 2u);  // the first two share a read; block 3 is past the end
        read(4096, 100);
        read(4150, 200);  // the gap between two blocks is held too
        {
            ReadWindow inner(base);
            const BlockIndex held[] = {1};
            inner.readBlocks(held);  // the outer window has it: not read again
            read(4096, 16);          // from the outer window
        }
        EXPECT_EQ(counter.reads(), 2u);
        std::thread([&] { read(4096, 100); }).join();  // another thread reads the file
        read(4000, 200);                               // so does a read not wholly held
        EXPECT_EQ(counter.reads(), 4u);
        Bytes past(100);
        EXPECT_FALSE(base.readAt(65500, past));
        EXPECT_EQ(base.errorCode, ERROR_FILE_ACCESS);
    }
    read(4096, 100);
    EXPECT_EQ(counter.reads(), 6u);
}

// However many neighbouring blocks a damaged list names, no read is much over a megabyte.
TEST(ReadWindow, ReadsOfManyNeighboursStayBounded) {
    auto source = std::make_unique<FailingSource>(Bytes(4u << 20));
    const FailingSource& counter = *source;
    MessageBase base;
    base.attachSource(std::move(source));
    std::vector<BlockIndex> blocks;
    for (std::uint64_t k = 0; k < 400; ++k) {
        base.blockTable.push_back({.fileOffset = k * 8192,
                                   .byteCount = 8000,
                                   .refCount = 1,
                                   .inflatedCount = 8000,
                                   .reachable = 1,
                                   .blockId = 4 * (k + 1)});
        blocks.push_back(static_cast<BlockIndex>(k));
    }
    ReadWindow window(base);
    window.readBlocks(blocks);
    EXPECT_EQ(counter.reads(), 4u);  // 400 blocks of 8 KiB in stretches of at most 1 MiB
    Bytes out(8000);
    EXPECT_TRUE(base.readAt(399 * 8192, out));
    EXPECT_EQ(counter.reads(), 4u);
}

// Stretches read at different times may overlap: a read inside any of them is served.
TEST(ReadWindow, ServesFromWhicheverOverlappingStretchHoldsTheRead) {
    CountedBase counted(1 << 14);
    const Bytes& image = counted.image;
    const FailingSource& counter = *counted.counter;
    MessageBase& base = counted.base;
    base.blockTable = {{4096, 300, 1, 1, 4}, {4000, 500, 1, 1, 8}, {9000, 100, 1, 1, 12}};
    ReadWindow window(base);
    const BlockIndex first[] = {0, 2};
    window.readBlocks(first);
    const BlockIndex wider[] = {1};  // not wholly held: read, and overlapping the first
    window.readBlocks(wider);
    EXPECT_EQ(counter.reads(), 3u);
    for (const auto& [offset, size] : {std::pair<std::uint64_t, std::size_t>{4350, 40},
                                       {4400, 50},
                                       {4000, 500},
                                       {9000, 100},
                                       {4096, 300}}) {
        Bytes out(size);
        EXPECT_TRUE(base.readAt(offset, out)) << offset;
        EXPECT_TRUE(std::equal(out.begin(), out.end(), image.begin() + offset)) << offset;
    }
    EXPECT_EQ(counter.reads(), 3u);
}

// A batch of file reads, through the system's ring where there is one, fills and fails exactly
// as the same reads one at a time: groups larger than one ring, short and empty ranges, ranges
// across or past the end.
TEST(FileSource, BatchesReadAsSingleReadsWould) {
    namespace fs = std::filesystem;
    const fs::path path =
        fs::temp_directory_path() / ("brevik-batch-" + std::to_string(::getpid()));
    Bytes image(1 << 20);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    std::string why;
    const auto file = FileSource::open(path.string(), &why);
    ASSERT_TRUE(file) << why;
    std::mt19937 random(7);
    std::vector<Bytes> buffers;
    std::vector<BatchRead> reads;
    for (int k = 0; k < 300; ++k) {
        std::uint64_t offset = random() % image.size();
        std::size_t size = random() % 20000;
        if (k % 50 == 1) offset = image.size() - size / 2;  // across the end
        if (k % 50 == 2) offset = image.size() + 10;        // past it
        if (k % 50 == 3) size = 0;                          // empty
        buffers.emplace_back(size, 0xAB);
        reads.push_back({offset, buffers.back()});
    }
    file->readBatch(reads);
    for (std::size_t k = 0; k < reads.size(); ++k) {
        Bytes alone(reads[k].out.size());
        const bool ok = file->readExact(reads[k].offset, alone);
        EXPECT_EQ(reads[k].ok, ok) << k;
        if (ok) {
            EXPECT_EQ(buffers[k], alone) << k;
        }
    }
    fs::remove(path);
}

// Ranges spread over a large file: the file hears of what follows a window before it is read,
// in pieces of a megabyte or more, never past the end and never twice.
TEST(RangeReader, TellsTheFileOfTheRangesAhead) {
    Bytes image(40u << 20);
    auto source = std::make_unique<FailingSource>(image);
    const FailingSource& counter = *source;
    MessageBase base;
    base.attachSource(std::move(source));
    std::vector<FileRange> ranges;
    for (std::uint64_t offset = 0; offset + 4096 <= image.size(); offset += 64u << 10)
        ranges.push_back({offset, 4096});
    RangeReader reader(base, ranges);
    std::uint64_t readUpTo = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const std::size_t hintsBefore = counter.hints().size();
        ASSERT_EQ(reader.read(i).size(), 4096u);
        const auto hints = counter.hints();
        for (std::size_t h = hintsBefore; h < hints.size(); ++h)
            EXPECT_GE(hints[h].offset, ranges[i].offset + 4096);
        readUpTo = ranges[i].offset + 4096;
    }
    const auto hints = counter.hints();
    ASSERT_FALSE(hints.empty());
    std::uint64_t hintedUpTo = 0;
    for (const FailingSource::Range& h : hints) {
        EXPECT_GE(h.offset, hintedUpTo);
        EXPECT_GE(h.length, 1u << 20);
        hintedUpTo = h.offset + h.length;
    }
    EXPECT_LE(hintedUpTo, readUpTo);
    EXPECT_GE(hintedUpTo, readUpTo - (1u << 20));  // all but the last window was announced
}

}  // namespace
}  // namespace brevik
