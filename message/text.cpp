#include "message/text.h"

#ifdef _WIN32
#include "message/windows_iconv.h"
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "engine/per_thread.h"

namespace brevik {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {

bool asciiCompatible(std::uint32_t codepage) {
    return codepage == 0 || (codepage >= 1250 && codepage <= 1258) || codepage == 20127 ||
           (codepage >= 28591 && codepage <= 28605) || codepage == 65001 || codepage == 874 ||
           codepage == 932 || codepage == 936 || codepage == 949 || codepage == 950 ||
           codepage == 437 || codepage == 850 || codepage == 866;
}

#ifndef _WIN32
// iconv names for Windows code pages that glibc does not know as "CP<N>".
std::string iconvName(std::uint32_t codepage) {
    switch (codepage) {
        case 0:
            return "WINDOWS-1252";
        case 65001:
            return "UTF-8";
        case 20127:
            return "ASCII";
        case 10000:
            return "MACINTOSH";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 20932:
        case 51932:
            return "EUC-JP";
        case 51949:
            return "EUC-KR";
        case 50220:
        case 50221:
        case 50222:
            return "ISO-2022-JP";
        case 52936:
            return "HZ-GB-2312";
        case 54936:
            return "GB18030";
        case 28603:
            return "ISO-8859-13";
        case 28605:
            return "ISO-8859-15";
        default:
            break;
    }
    if (codepage >= 28591 && codepage <= 28599)
        return "ISO-8859-" + std::to_string(codepage - 28590);
    if (codepage >= 1250 && codepage <= 1258) return "WINDOWS-" + std::to_string(codepage);
    return "CP" + std::to_string(codepage);
}
#endif

// Length of the ASCII run at the start of [p, p + n), eight bytes at a time.
std::size_t asciiPrefix(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    for (std::uint64_t w; i + 8 <= n; i += 8) {
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < n && p[i] < 0x80)
        ++i;
    return i;
}

// Well-formed UTF-8: no overlong forms, surrogates, values past U+10FFFF or cut sequences.
// Converting such text from UTF-8 gives it back unchanged.
bool wellFormedUtf8(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            i += asciiPrefix(p + i, n - i);
            continue;
        }
        std::size_t len = 0;
        std::uint8_t lo = 0x80, hi = 0xBF;  // bounds of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (n - i < len || p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

iconv_t openConverter(std::uint32_t codepage) {
    const iconv_t bad = reinterpret_cast<iconv_t>(-1);
#ifdef _WIN32
    const iconv_t cd = iconvOpenCodePage(codepage);
    return cd != bad ? cd : iconvOpenCodePage(1252);
#else
    iconv_t cd = iconv_open("UTF-8", iconvName(codepage).c_str());
    if (cd == bad) cd = iconv_open("UTF-8", ("WINDOWS-" + std::to_string(codepage)).c_str());
    if (cd == bad) cd = iconv_open("UTF-8", "WINDOWS-1252");
    return cd;
#endif
}

// One converter per code page and thread: opening one costs more than most conversions.
class Converter {
  public:
    iconv_t get(std::uint32_t codepage) {
        if (cd_ == bad() || codepage != codepage_) {
            close();
            cd_ = openConverter(codepage);
            codepage_ = codepage;
        }
        return cd_;
    }
    ~Converter() { close(); }

  private:
    static iconv_t bad() { return reinterpret_cast<iconv_t>(-1); }
    void close() {
        if (cd_ != bad()) iconv_close(cd_);
        cd_ = bad();
    }
    iconv_t cd_ = bad();
    std::uint32_t codepage_ = 0;
};

// Single-byte code pages whose converter is stateless (1255 and 1258 are not: they combine a
// letter with the accents that follow it).
bool statelessSingleByte(std::uint32_t codepage) {
    return codepage == 0 || (codepage >= 1250 && codepage <= 1257 && codepage != 1255) ||
           codepage == 20127 || (codepage >= 28591 && codepage <= 28605) || codepage == 874 ||
           codepage == 437 || codepage == 850 || codepage == 866;
}

// What each byte from 0x80 up becomes in a single-byte code page, taken once per thread from
// the converter itself: a body then converts by table lookups instead of iconv calls.
struct ByteTable {
    std::array<std::array<char, 4>, 128> utf8{};
    std::array<std::uint8_t, 128> length{};
};

const ByteTable* byteTable(std::uint32_t codepage, Converter& converter) {
    auto& tables =
        perThread<std::unordered_map<std::uint32_t, std::unique_ptr<ByteTable>>, ByteTable>();
    const auto [it, isNew] = tables.try_emplace(codepage);
    if (!isNew) return it->second.get();
    iconv_t cd = converter.get(codepage);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    auto table = std::make_unique<ByteTable>();
    for (int b = 0x80; b < 0x100; ++b) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in = static_cast<char>(b);
        char* inPtr = &in;
        std::size_t inLeft = 1;
        char buffer[16];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::string utf8;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            appendUtf8(utf8, kReplacement);
        else if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            utf8.assign(buffer, outPtr);
        if (utf8.empty() || utf8.size() > 4) return nullptr;  // not a byte-by-byte page after all
        std::copy(utf8.begin(), utf8.end(), table->utf8[b - 0x80].begin());
        table->length[b - 0x80] = static_cast<std::uint8_t>(utf8.size());
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    it->second = std::move(table);
    return it->second.get();
}

}  // namespace

std::size_t decodeUtf8At(std::string_view text, std::size_t i, char32_t& c) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    if (i >= text.size()) return 0;
    const std::uint8_t lead = byte(i);
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    const std::size_t n = lead >= 0xF0 && lead <= 0xF4  ? 4
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                                                        : 0;
    if (n == 0 || i + n > text.size()) return 0;
    c = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return n;
}

bool isInvisibleControl(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 ||
           c == 0x2029;
}

bool isWellFormedUtf8(std::string_view text) {
    return wellFormedUtf8(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

namespace {

// Writes the UTF-8 of `units` UTF-16LE units from `data` to `w` (room for three bytes a unit),
// stopping at a zero unit; returns the end of what was written.
char* convertUtf16(const std::uint8_t* data, std::size_t units, char* w) {
    auto put = [&w](char32_t c) {
        if (c < 0x80) {
            *w++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *w++ = static_cast<char>(0xC0 | (c >> 6));
            *w++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *w++ = static_cast<char>(0xE0 | (c >> 12));
            *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *w++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *w++ = static_cast<char>(0xF0 | (c >> 18));
            *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *w++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i < units; ++i) {
        // Four ASCII units at a time: none of them has a bit above 0x7F or is zero.
        while (i + 4 <= units) {
            const std::uint64_t word = load64(data + 2 * i);
            const std::uint64_t zeroUnit =
                (word - 0x0001000100010001ull) & ~word & 0x8000800080008000ull;
            if ((word & 0xFF80FF80FF80FF80ull) || zeroUnit) break;
            for (int k = 0; k < 4; ++k)
                *w++ = static_cast<char>(data[2 * i + 2 * k]);
            i += 4;
        }
        if (i >= units) break;
        const char32_t u = load16(data + 2 * i);
        if (u == 0) break;
        if (u < 0x80) {
            *w++ = static_cast<char>(u);
        } else if (u >= 0xD800 && u <= 0xDBFF) {
            const char32_t next = i + 1 < units ? load16(data + 2 * (i + 1)) : 0;
            if (next >= 0xDC00 && next <= 0xDFFF) {
                put(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                ++i;
            } else {
                put(kReplacement);
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            put(kReplacement);
        } else {
            put(u);
        }
    }
    return w;
}

// Units from the start of `data` that are ASCII and not zero, taken four at a time.
std::size_t asciiUnits(const std::uint8_t* data, std::size_t units) {
    std::size_t i = 0;
    for (; i + 4 <= units; i += 4) {
        const std::uint64_t word = load64(data + 2 * i);
        const std::uint64_t zeroUnit =
            (word - 0x0001000100010001ull) & ~word & 0x8000800080008000ull;
        if ((word & 0xFF80FF80FF80FF80ull) || zeroUnit) break;
    }
    while (i < units) {
        const std::uint16_t u = load16(data + 2 * i);
        if (u == 0 || u >= 0x80) break;
        ++i;
    }
    return i;
}

// Writes the low bytes of `units` ASCII units.
void narrowAscii(const std::uint8_t* data, std::size_t units, char* out) {
    std::size_t i = 0;
    for (; i + 4 <= units; i += 4) {
        std::uint64_t w = load64(data + 2 * i);
        w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
        w = (w | (w >> 16)) & 0xFFFFFFFFull;
        store32(reinterpret_cast<std::uint8_t*>(out + i), static_cast<std::uint32_t>(w));
    }
    for (; i < units; ++i)
        out[i] = static_cast<char>(data[2 * i]);
}

}  // namespace

std::string utf16ToUtf8(const std::uint8_t* data, std::size_t byteLength) {
    if (!data) return {};
    const std::size_t units = byteLength / 2;
    // Plain ASCII up to the end or a zero unit, most of what is converted, takes a byte a unit.
    const std::size_t ascii = asciiUnits(data, units);
    if (ascii == units || load16(data + 2 * ascii) == 0) {
        std::string out(ascii, '\0');
        narrowAscii(data, ascii, out.data());
        return out;
    }
    // Names and subjects, most of what is converted, go through a buffer on the stack: one
    // allocation of the right size instead of one three times too large and cleared first.
    constexpr std::size_t kSmallUnits = 256;
    if (units <= kSmallUnits) {
        char buffer[3 * kSmallUnits];
        return std::string(buffer, convertUtf16(data, units, buffer));
    }
    std::string out(units * 3, '\0');
    out.resize(static_cast<std::size_t>(convertUtf16(data, units, out.data()) - out.data()));
    return out;
}

void wideToAnsiInPlace(Bytes& buffer) {
    const std::string text = utf16ToUtf8(buffer.data(), buffer.size());
    buffer.assign(text.begin(), text.end());
    buffer.push_back(0);
}

std::string codepageToUtf8(const std::uint8_t* data, std::size_t length, std::uint32_t codepage) {
    std::string out;
    if (!data) return out;
    const void* end = std::memchr(data, 0, length);
    const std::size_t n =
        end ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - data) : length;
    if (n == 0) return out;
    // Plain ASCII reads the same in every single-byte Windows code page and in the common
    // multi-byte ones: no conversion needed.
    const std::size_t ascii = asciiPrefix(data, n);
    if (ascii == n && asciiCompatible(codepage))
        return std::string(reinterpret_cast<const char*>(data), n);
    // Most UTF-8 needs no converter either: HTML bodies are often UTF-8.
    if (codepage == 65001 && wellFormedUtf8(data, n))
        return std::string(reinterpret_cast<const char*>(data), n);

    Converter& converter = perThread<Converter, Converter>();
    if (statelessSingleByte(codepage))
        if (const ByteTable* table = byteTable(codepage, converter)) {
            out.reserve(n + n / 2);
            for (std::size_t i = 0; i < n;) {
                const std::size_t run = asciiPrefix(data + i, n - i);
                out.append(reinterpret_cast<const char*>(data + i), run);
                i += run;
                if (i == n) break;
                const std::uint8_t b = data[i++];
                out.append(table->utf8[b - 0x80].data(), table->length[b - 0x80]);
            }
            return out;
        }
    iconv_t cd = converter.get(codepage);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter at all: keep ASCII, mark the rest.
        for (std::size_t i = 0; i < n; ++i)
            appendUtf8(out, data[i] < 0x80 ? char32_t{data[i]} : kReplacement);
        return out;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    std::string chunk(4 * n + 16, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(data));
    std::size_t inLeft = n;
    while (inLeft > 0) {
        char* dst = chunk.data();
        std::size_t dstLeft = chunk.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(chunk.data(), chunk.size() - dstLeft);
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // An invalid or incomplete sequence: mark one byte and go on.
        appendUtf8(out, kReplacement);
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state (stateful encodings).
    char* dst = chunk.data();
    std::size_t dstLeft = chunk.size();
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(chunk.data(), chunk.size() - dstLeft);
    return out;
}

}  // namespace brevik
