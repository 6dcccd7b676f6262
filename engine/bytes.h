// Byte buffers and little-endian field loads shared by every layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace brevik {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Little-endian loads. The caller has checked that the field fits; these never bounds-check.
inline std::uint16_t load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t load64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(load32(p)) |
           (static_cast<std::uint64_t>(load32(p + 4)) << 32);
}

// Bounds-checked loads: a field that does not fit in the view reads as 0 and reports false.
inline bool fits(ByteView v, std::size_t offset, std::size_t width) {
    return offset <= v.size() && width <= v.size() - offset;
}
inline std::uint16_t get16(ByteView v, std::size_t offset) {
    return fits(v, offset, 2) ? load16(v.data() + offset) : 0;
}
inline std::uint32_t get32(ByteView v, std::size_t offset) {
    return fits(v, offset, 4) ? load32(v.data() + offset) : 0;
}
inline std::uint64_t get64(ByteView v, std::size_t offset) {
    return fits(v, offset, 8) ? load64(v.data() + offset) : 0;
}

inline void store16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void store64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace brevik
