// The [MS-PST] encodings of block data: permutation ("compressible") and cyclic.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevik {

// Decodes in place: each byte b becomes entry b of the published decoding table.
void decodePermute(std::uint8_t* data, std::size_t length);
// The inverse map, used by writers and test fixtures.
void encodePermute(std::uint8_t* data, std::size_t length);

// The cyclic encoding, keyed by the low 32 bits of the block id; it encodes and decodes alike.
// `offset` is the position of data[0] inside its block, for a slice read on its own.
void cryptCyclic(std::uint8_t* data, std::size_t length, std::uint32_t key, std::size_t offset = 0);

}  // namespace brevik
