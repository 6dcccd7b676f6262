#include "engine/permute.h"

#include <array>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace brevik {
namespace {

// Third section of the mpbbCrypt table in [MS-PST] (the decoding direction).
constexpr std::array<std::uint8_t, 256> kDecode = {
    0x47, 0xf1, 0xb4, 0xe6, 0x0b, 0x6a, 0x72, 0x48, 0x85, 0x4e, 0x9e, 0xeb, 0xe2, 0xf8, 0x94, 0x53,
    0xe0, 0xbb, 0xa0, 0x02, 0xe8, 0x5a, 0x09, 0xab, 0xdb, 0xe3, 0xba, 0xc6, 0x7c, 0xc3, 0x10, 0xdd,
    0x39, 0x05, 0x96, 0x30, 0xf5, 0x37, 0x60, 0x82, 0x8c, 0xc9, 0x13, 0x4a, 0x6b, 0x1d, 0xf3, 0xfb,
    0x8f, 0x26, 0x97, 0xca, 0x91, 0x17, 0x01, 0xc4, 0x32, 0x2d, 0x6e, 0x31, 0x95, 0xff, 0xd9, 0x23,
    0xd1, 0x00, 0x5e, 0x79, 0xdc, 0x44, 0x3b, 0x1a, 0x28, 0xc5, 0x61, 0x57, 0x20, 0x90, 0x3d, 0x83,
    0xb9, 0x43, 0xbe, 0x67, 0xd2, 0x46, 0x42, 0x76, 0xc0, 0x6d, 0x5b, 0x7e, 0xb2, 0x0f, 0x16, 0x29,
    0x3c, 0xa9, 0x03, 0x54, 0x0d, 0xda, 0x5d, 0xdf, 0xf6, 0xb7, 0xc7, 0x62, 0xcd, 0x8d, 0x06, 0xd3,
    0x69, 0x5c, 0x86, 0xd6, 0x14, 0xf7, 0xa5, 0x66, 0x75, 0xac, 0xb1, 0xe9, 0x45, 0x21, 0x70, 0x0c,
    0x87, 0x9f, 0x74, 0xa4, 0x22, 0x4c, 0x6f, 0xbf, 0x1f, 0x56, 0xaa, 0x2e, 0xb3, 0x78, 0x33, 0x50,
    0xb0, 0xa3, 0x92, 0xbc, 0xcf, 0x19, 0x1c, 0xa7, 0x63, 0xcb, 0x1e, 0x4d, 0x3e, 0x4b, 0x1b, 0x9b,
    0x4f, 0xe7, 0xf0, 0xee, 0xad, 0x3a, 0xb5, 0x59, 0x04, 0xea, 0x40, 0x55, 0x25, 0x51, 0xe5, 0x7a,
    0x89, 0x38, 0x68, 0x52, 0x7b, 0xfc, 0x27, 0xae, 0xd7, 0xbd, 0xfa, 0x07, 0xf4, 0xcc, 0x8e, 0x5f,
    0xef, 0x35, 0x9c, 0x84, 0x2b, 0x15, 0xd5, 0x77, 0x34, 0x49, 0xb6, 0x12, 0x0a, 0x7f, 0x71, 0x88,
    0xfd, 0x9d, 0x18, 0x41, 0x7d, 0x93, 0xd8, 0x58, 0x2c, 0xce, 0xfe, 0x24, 0xaf, 0xde, 0xb8, 0x36,
    0xc8, 0xa1, 0x80, 0xa6, 0x99, 0x98, 0xa8, 0x2f, 0x0e, 0x81, 0x65, 0x73, 0xe4, 0xc2, 0xa2, 0x8a,
    0xd4, 0xe1, 0x11, 0xd0, 0x08, 0x8b, 0x2a, 0xf2, 0xed, 0x9a, 0x64, 0x3f, 0xc1, 0x6c, 0xf9, 0xec,
};

constexpr std::array<std::uint8_t, 256> invert(const std::array<std::uint8_t, 256>& t) {
    std::array<std::uint8_t, 256> inv{};
    for (int i = 0; i < 256; ++i)
        inv[t[i]] = static_cast<std::uint8_t>(i);
    return inv;
}
constexpr std::array<std::uint8_t, 256> kEncode = invert(kDecode);

// Second section of the mpbbCrypt table: the middle substitution of the cyclic encoding. It is
// its own inverse, which makes that encoding symmetric.
constexpr std::array<std::uint8_t, 256> kCyclicMiddle = {
    20,  83,  15,  86,  179, 200, 122, 156, 235, 101, 72,  23,  22,  21,  159, 2,   204, 84,  124,
    131, 0,   13,  12,  11,  162, 98,  168, 118, 219, 217, 237, 199, 197, 164, 220, 172, 133, 116,
    214, 208, 167, 155, 174, 154, 150, 113, 102, 195, 99,  153, 184, 221, 115, 146, 142, 132, 125,
    165, 94,  209, 93,  147, 177, 87,  81,  80,  128, 137, 82,  148, 79,  78,  10,  107, 188, 141,
    127, 110, 71,  70,  65,  64,  68,  1,   17,  203, 3,   63,  247, 244, 225, 169, 143, 60,  58,
    249, 251, 240, 25,  48,  130, 9,   46,  201, 157, 160, 134, 73,  238, 111, 77,  109, 196, 45,
    129, 52,  37,  135, 27,  136, 170, 252, 6,   161, 18,  56,  253, 76,  66,  114, 100, 19,  55,
    36,  106, 117, 119, 67,  255, 230, 180, 75,  54,  92,  228, 216, 53,  61,  69,  185, 44,  236,
    183, 49,  43,  41,  7,   104, 163, 14,  105, 123, 24,  158, 33,  57,  190, 40,  26,  91,  120,
    245, 35,  202, 42,  176, 175, 62,  254, 4,   140, 231, 229, 152, 50,  149, 211, 246, 74,  232,
    166, 234, 233, 243, 213, 47,  112, 32,  242, 31,  5,   103, 173, 85,  16,  206, 205, 227, 39,
    59,  218, 186, 215, 194, 38,  212, 145, 29,  210, 28,  34,  51,  248, 250, 241, 90,  239, 207,
    144, 182, 139, 181, 189, 192, 191, 8,   151, 30,  108, 226, 97,  224, 198, 193, 89,  171, 187,
    88,  222, 95,  223, 96,  121, 126, 178, 138,
};
static_assert(invert(kCyclicMiddle) == kCyclicMiddle);

}  // namespace

namespace {

void substitute(std::uint8_t* data, std::size_t length, const std::array<std::uint8_t, 256>& t) {
    for (std::size_t i = 0; i < length; ++i)
        data[i] = t[data[i]];
}

#if defined(__x86_64__) && defined(__GNUC__)
// Every block of every item goes through the table: with AVX-512 VBMI two byte permutes of two
// 64-byte registers each look up 64 bytes at once, many times faster than a load per byte.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void substituteWide(
    std::uint8_t* data, std::size_t length, const std::array<std::uint8_t, 256>& t) {
    const __m512i t0 = _mm512_loadu_si512(t.data());
    const __m512i t1 = _mm512_loadu_si512(t.data() + 64);
    const __m512i t2 = _mm512_loadu_si512(t.data() + 128);
    const __m512i t3 = _mm512_loadu_si512(t.data() + 192);
    std::size_t i = 0;
    for (; i + 64 <= length; i += 64) {
        const __m512i x = _mm512_loadu_si512(data + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, x, t1);   // entries 0..127
        const __m512i high = _mm512_permutex2var_epi8(t2, x, t3);  // entries 128..255
        _mm512_storeu_si512(data + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high));
    }
    substitute(data + i, length - i, t);
}

bool haveWide() {
    static const bool have = __builtin_cpu_supports("avx512f") &&
                             __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi");
    return have;
}

void lookUp(std::uint8_t* data, std::size_t length, const std::array<std::uint8_t, 256>& t) {
    if (length >= 64 && haveWide())
        substituteWide(data, length, t);
    else
        substitute(data, length, t);
}
#else
void lookUp(std::uint8_t* data, std::size_t length, const std::array<std::uint8_t, 256>& t) {
    substitute(data, length, t);
}
#endif

}  // namespace

void decodePermute(std::uint8_t* data, std::size_t length) {
    lookUp(data, length, kDecode);
}

void encodePermute(std::uint8_t* data, std::size_t length) {
    lookUp(data, length, kEncode);
}

void cryptCyclic(std::uint8_t* data, std::size_t length, std::uint32_t key, std::size_t offset) {
    auto w = static_cast<std::uint16_t>((key ^ (key >> 16)) + offset);
    for (std::size_t i = 0; i < length; ++i, ++w) {
        const auto lo = static_cast<std::uint8_t>(w);
        const auto hi = static_cast<std::uint8_t>(w >> 8);
        std::uint8_t b = kEncode[static_cast<std::uint8_t>(data[i] + lo)];
        b = kCyclicMiddle[static_cast<std::uint8_t>(b + hi)];
        b = kDecode[static_cast<std::uint8_t>(b - hi)];
        data[i] = static_cast<std::uint8_t>(b - lo);
    }
}

}  // namespace brevik
