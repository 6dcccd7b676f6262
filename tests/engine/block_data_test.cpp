#include "engine/block_data.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace brevik {
namespace {

// `zeros` zero bytes as one zlib stream, deflated a megabyte at a time.
Bytes deflatedZeros(std::size_t zeros) {
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, Z_BEST_SPEED), Z_OK);
    const Bytes chunk(std::min<std::size_t>(zeros, 1u << 20), 0);
    Bytes out(1u << 20);
    std::size_t produced = 0;
    for (std::size_t left = zeros;;) {
        const std::size_t n = std::min(left, chunk.size());
        z.next_in = const_cast<Bytef*>(chunk.data());
        z.avail_in = static_cast<uInt>(n);
        left -= n;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int rc;
        do {
            if (out.size() - produced < 65536) out.resize(out.size() * 2);
            z.next_out = out.data() + produced;
            z.avail_out = static_cast<uInt>(out.size() - produced);
            rc = deflate(&z, flush);
            produced = out.size() - z.avail_out;
        } while (z.avail_in > 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        if (left == 0) break;
    }
    deflateEnd(&z);
    out.resize(produced);
    return out;
}

TEST(InflateInto, OnlyAStreamOfExactlyTheStatedSizeInflatesAndNothingIsWrittenPastIt) {
    const Bytes text = {'h', 'e', 'a', 'p', ' ', 'd', 'a', 't', 'a'};
    uLongf length = compressBound(static_cast<uLong>(text.size()));
    Bytes stream(length);
    ASSERT_EQ(compress2(stream.data(), &length, text.data(), text.size(), 9), Z_OK);
    stream.resize(length);

    Bytes out(text.size());
    EXPECT_EQ(inflateInto(stream, out), InflateFault::None);
    EXPECT_EQ(out, text);
    Bytes larger(text.size() + 1);
    EXPECT_EQ(inflateInto(stream, larger), InflateFault::WrongSize);
    Bytes cut(stream.begin(), stream.end() - 6);  // the stream's end is lost
    EXPECT_EQ(inflateInto(cut, out), InflateFault::WrongSize);
    Bytes garbage(32, 0x5A);
    EXPECT_EQ(inflateInto(garbage, out), InflateFault::Corrupt);

    // A stream that would inflate to 1 GiB fills the stated 8176 bytes and stops there.
    const Bytes bomb = deflatedZeros(std::size_t{1} << 30);
    ASSERT_LT(bomb.size(), 8u << 20);
    Bytes guarded(8176 + 16, 0xEE);
    EXPECT_EQ(inflateInto(bomb, std::span(guarded).first(8176)), InflateFault::WrongSize);
    EXPECT_EQ(guarded[8176], 0xEE);
    EXPECT_EQ(guarded.back(), 0xEE);
}

}  // namespace
}  // namespace brevik
