#include "engine/crc.h"

#include <array>

namespace brevik {
namespace {

// Eight tables let the loop take eight bytes a step: the writer checksums every byte it writes,
// and a recovery every index page it trusts.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables makeTables() {
    CrcTables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (int s = 1; s < 8; ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr CrcTables kTables = makeTables();

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t length, std::uint32_t seed) {
    std::uint32_t crc = seed;
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const std::uint32_t lo = crc ^ (static_cast<std::uint32_t>(data[i]) |
                                        (static_cast<std::uint32_t>(data[i + 1]) << 8) |
                                        (static_cast<std::uint32_t>(data[i + 2]) << 16) |
                                        (static_cast<std::uint32_t>(data[i + 3]) << 24));
        const std::uint32_t hi = static_cast<std::uint32_t>(data[i + 4]) |
                                 (static_cast<std::uint32_t>(data[i + 5]) << 8) |
                                 (static_cast<std::uint32_t>(data[i + 6]) << 16) |
                                 (static_cast<std::uint32_t>(data[i + 7]) << 24);
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    }
    for (; i < length; ++i)
        crc = kTables[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace brevik
