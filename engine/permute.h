// The [MS-PST] permutation ("compressible") encoding of block data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevik {

// Decodes in place: each byte b becomes entry b of the published decoding table.
void decodePermute(std::uint8_t* data, std::size_t length);
// The inverse map, used by writers and test fixtures.
void encodePermute(std::uint8_t* data, std::size_t length);

}  // namespace brevik
