#include "engine/byte_source.h"

#include <gtest/gtest.h>

#include <thread>

namespace brevik {
namespace {

Bytes patterned(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}

// Each way of failing ends a read at the first byte it forbids: what lies before is filled, the
// read reports failure, and everything is counted, also when reads come from several threads.
TEST(FailingSource, FailsReadsWhereAskedAndServesTheRest) {
    const Bytes image = patterned(4096);
    auto prefix = [&](const Bytes& got, std::size_t from, std::size_t n) {
        return std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n),
                          image.begin() + static_cast<std::ptrdiff_t>(from));
    };
    {
        FailingSource source(image);
        source.failFrom(1000);
        Bytes out(100, 0);
        EXPECT_TRUE(source.readExact(900, out));
        EXPECT_TRUE(prefix(out, 900, 100));
        out.assign(100, 0);
        EXPECT_FALSE(source.readExact(950, out));  // short: the 50 bytes before 1000 arrive
        EXPECT_TRUE(prefix(out, 950, 50));
        EXPECT_EQ(out[50], 0);
        EXPECT_FALSE(source.readExact(1000, out));
        EXPECT_FALSE(source.readExact(4090, out));  // past the image fails as it did
        EXPECT_EQ(source.reads(), 4u);
        EXPECT_EQ(source.failedReads(), 3u);
    }
    {
        FailingSource source(std::make_unique<MemorySource>(image));
        source.failAfterReads(2).failRange(2000, 10);
        Bytes out(16);
        EXPECT_FALSE(source.readExact(1990, out));  // touches the bad range
        EXPECT_TRUE(source.readExact(2010, out));   // just after it
        EXPECT_FALSE(source.readExact(0, out));     // the third read
        EXPECT_EQ(source.failedReads(), 2u);
    }
    {
        FailingSource source(image);
        source.failAfterBytes(40);
        Bytes out(32, 0);
        EXPECT_TRUE(source.readExact(0, out));
        EXPECT_FALSE(source.readExact(100, out));  // 8 bytes left of the budget
        EXPECT_TRUE(prefix(out, 100, 8));
    }
    {
        FailingSource source(image);
        std::atomic<std::uint64_t> numbers = 0;
        source.failFrom(2048).onRead([&](std::uint64_t n) { numbers += n; });
        std::atomic<int> ok = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                Bytes out(64);
                for (int k = 0; k < 250; ++k)
                    ok += source.readExact(static_cast<std::uint64_t>((t * 250 + k) * 3), out);
            });
        for (std::thread& t : threads)
            t.join();
        EXPECT_EQ(source.reads(), 1000u);
        EXPECT_EQ(numbers, 1000u * 1001 / 2);  // each number once
        EXPECT_EQ(source.failedReads(), 1000u - static_cast<std::uint64_t>(ok));
        EXPECT_EQ(ok, (2048 - 64) / 3 + 1);  // offsets 0, 3, ..., 1983 end before 2048
    }
}

}  // namespace
}  // namespace brevik
