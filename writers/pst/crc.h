// The checksums of the [MS-PST] format: the CRC of pages, blocks and the header, and the
// signature that ties a page or block to its offset and id.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/crc.h"

namespace brevik::pst {

using ::brevik::crc32;

// [MS-PST] ComputeSig: the 16-bit signature of a page or block at `offset` with id `bid`.
inline std::uint16_t blockSignature(std::uint64_t offset, std::uint64_t bid) {
    const auto mixed = static_cast<std::uint32_t>(offset ^ bid);
    return static_cast<std::uint16_t>((mixed >> 16) ^ (mixed & 0xFFFF));
}

}  // namespace brevik::pst
