// The CRC-32 that the file format and compressed bodies use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevik {

// CRC-32 with the reflected polynomial 0xEDB88320, started at `seed` (0 for the format) and
// without a final inversion.
std::uint32_t crc32(const std::uint8_t* data, std::size_t length, std::uint32_t seed = 0);

}  // namespace brevik
