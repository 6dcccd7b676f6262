#include "engine/crc.h"

#include <gtest/gtest.h>

#include <string>

namespace brevik {
namespace {

// The standard check value, and every length and seed against the bitwise definition: the
// table loop takes several bytes a step, and long runs are folded 64 and 16 bytes at a time; both
// must agree with it at any length, tail and alignment.
TEST(Crc32, MatchesTheBitwiseDefinitionAtEveryLength) {
    const std::string check = "123456789";
    EXPECT_EQ(
        crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size(), 0xFFFFFFFFu) ^
            0xFFFFFFFFu,
        0xCBF43926u);
    std::uint8_t data[1100];
    for (int i = 0; i < 1100; ++i)
        data[i] = static_cast<std::uint8_t>(i * 37 + 11 + (i >> 8));
    auto bitwise = [&](std::size_t start, std::size_t length, std::uint32_t crc) {
        for (std::size_t i = start; i < start + length; ++i) {
            crc ^= data[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
        return crc;
    };
    for (std::size_t length = 0; length <= 300; ++length)
        for (std::uint32_t seed : {0u, 0x12345678u, 0xFFFFFFFFu})
            EXPECT_EQ(crc32(data, length, seed), bitwise(0, length, seed)) << length;
    for (std::size_t start = 1; start < 16; ++start)
        EXPECT_EQ(crc32(data + start, 1080, 0), bitwise(start, 1080, 0)) << start;
}

}  // namespace
}  // namespace brevik
