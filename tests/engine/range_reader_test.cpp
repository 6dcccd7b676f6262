#include "engine/range_reader.h"

#include <gtest/gtest.h>

namespace brevik {
namespace {

// Counts the reads that reach the file.
class CountingSource final : public ByteSource {
  public:
    explicit CountingSource(Bytes image) : image_(std::move(image)) {}
    std::uint64_t size() const override { return image_.size(); }
    bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        ++reads;
        return image_.readExact(offset, out);
    }
    mutable int reads = 0;

  private:
    MemorySource image_;
};

TEST(RangeReader, ServesEachRangeAsADirectReadWouldWithFewerReads) {
    Bytes image(1 << 16);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
    auto source = std::make_unique<CountingSource>(image);
    const CountingSource& counter = *source;
    MessageBase base;
    base.attachSource(std::move(source));

    // Close neighbours, one far away, one going backwards, and one past the end of the file.
    const std::vector<FileRange> ranges = {{512, 512},  {1024, 100}, {4096, 512},
                                           {60000, 64}, {2048, 16},  {65500, 100}};
    RangeReader reader(base, ranges);
    for (std::size_t i = 0; i + 1 < ranges.size(); ++i) {
        const ByteView got = reader.read(i);
        ASSERT_EQ(got.size(), ranges[i].size) << i;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), image.begin() + ranges[i].offset)) << i;
    }
    EXPECT_EQ(counter.reads, 3);  // the first three share a read
    EXPECT_EQ(base.errorCode, 0u);
    EXPECT_TRUE(reader.read(ranges.size() - 1).empty());
    EXPECT_EQ(base.errorCode, ERROR_FILE_ACCESS);
}

}  // namespace
}  // namespace brevik
