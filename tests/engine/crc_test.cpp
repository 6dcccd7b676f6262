#include "engine/crc.h"

#include <gtest/gtest.h>

#include <string>

namespace brevik {
namespace {

// The standard check value, and every length and seed against the bitwise definition: the
// table loop takes several bytes a step and must agree with it at any tail.
TEST(Crc32, MatchesTheBitwiseDefinitionAtEveryLength) {
    const std::string check = "123456789";
    EXPECT_EQ(
        crc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size(), 0xFFFFFFFFu) ^
            0xFFFFFFFFu,
        0xCBF43926u);
    std::uint8_t data[64];
    for (int i = 0; i < 64; ++i)
        data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (std::size_t length = 0; length <= 64; ++length)
        for (std::uint32_t seed : {0u, 0x12345678u}) {
            std::uint32_t expected = seed;
            for (std::size_t i = 0; i < length; ++i) {
                expected ^= data[i];
                for (int k = 0; k < 8; ++k)
                    expected = (expected & 1) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
            }
            EXPECT_EQ(crc32(data, length, seed), expected) << length;
        }
}

}  // namespace
}  // namespace brevik
