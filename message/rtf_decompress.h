// Compressed RTF bodies ([MS-OXRTFCP]): the LZ form and the stored ("uncompressed") form.
#pragma once

#include <cstdint>

#include "engine/bytes.h"

namespace brevik {

// Why a compressed body could not be taken as it stands.
enum class RtfDamage : std::uint8_t {
    None,
    TooShort,     // no complete 16-byte header
    UnknownType,  // neither the LZ nor the stored form
    Truncated,    // the data ends before its stated sizes
    BadCrc,       // the stored checksum disagrees with the data
    Overrun,      // the LZ stream ran past its stated raw size
};

struct DecompressedRtf {
    Bytes rtf;  // what could be decompressed, damaged or not
    RtfDamage damage = RtfDamage::None;
    bool damaged() const { return damage != RtfDamage::None; }
};

// Decompresses a PidTagRtfCompressed value. Never fails outright: damaged input keeps what
// decompressed before the damage, with the reason.
DecompressedRtf decompressRtf(ByteView compressed);

// The LZ form of `rtf`, for writers and test fixtures (literals only: valid, not small).
Bytes compressRtfLiterals(ByteView rtf);

}  // namespace brevik
