#include "message/rtf_decompress.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "engine/crc.h"

namespace brevik {
namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::uint32_t kLzType = 0x75465A4C;      // "LZFu"
constexpr std::uint32_t kStoredType = 0x414C454D;  // "MELA"
constexpr std::size_t kDictionarySize = 4096;
// A hostile raw size must not make us reserve gigabytes before the data proves it.
constexpr std::size_t kMaxRawBytes = std::size_t{256} << 20;
// The most one input byte can produce: a two-byte reference copies up to 17 bytes.
constexpr std::size_t kMaxExpansion = 9;

// The dictionary's preset contents: common RTF header words.
constexpr std::string_view kPreset =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kPreset.size() == 207);

void decompressLz(ByteView in, std::size_t rawSize, DecompressedRtf& out) {
    std::array<std::uint8_t, kDictionarySize> dict{};
    std::copy(kPreset.begin(), kPreset.end(), dict.begin());
    std::size_t write = kPreset.size();
    // Room for what the stated size and the input can both produce: a size that lies costs no
    // more than the data behind it.
    out.rtf.reserve(std::min({rawSize, kMaxRawBytes, in.size() * kMaxExpansion}));
    auto emit = [&](std::uint8_t b) {
        out.rtf.push_back(b);
        dict[write] = b;
        write = (write + 1) % kDictionarySize;
    };
    std::size_t pos = 0;
    while (pos < in.size()) {
        const std::uint8_t control = in[pos++];
        for (int bit = 0; bit < 8; ++bit) {
            if (pos >= in.size()) {
                out.damage = RtfDamage::Truncated;  // no end marker
                return;
            }
            if (!(control & (1 << bit))) {
                emit(in[pos++]);
            } else {
                if (pos + 2 > in.size()) {
                    out.damage = RtfDamage::Truncated;
                    return;
                }
                const std::uint16_t ref = static_cast<std::uint16_t>(in[pos] << 8 | in[pos + 1]);
                pos += 2;
                const std::size_t offset = ref >> 4;
                const std::size_t length = (ref & 0xF) + 2u;
                if (offset == write) return;  // the end marker
                for (std::size_t k = 0; k < length; ++k)
                    emit(dict[(offset + k) % kDictionarySize]);
            }
            if (out.rtf.size() > rawSize) {
                out.rtf.resize(rawSize);
                out.damage = RtfDamage::Overrun;
                return;
            }
        }
    }
    out.damage = RtfDamage::Truncated;
}

}  // namespace

DecompressedRtf decompressRtf(ByteView compressed) {
    DecompressedRtf out;
    if (compressed.size() < kHeaderSize) {
        out.damage = RtfDamage::TooShort;
        return out;
    }
    const std::uint32_t compSize = load32(compressed.data());
    const std::uint32_t rawSize = load32(compressed.data() + 4);
    const std::uint32_t type = load32(compressed.data() + 8);
    const std::uint32_t crc = load32(compressed.data() + 12);
    // The stated size counts everything after its own field.
    const std::size_t stated = std::size_t{compSize} + 4;
    const bool truncated = stated < kHeaderSize || stated > compressed.size();
    const ByteView data = compressed.subspan(
        kHeaderSize, (truncated ? compressed.size() : std::max(stated, kHeaderSize)) - kHeaderSize);

    if (type == kStoredType) {
        const std::size_t n = std::min<std::size_t>(rawSize, data.size());
        out.rtf.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < rawSize) out.damage = RtfDamage::Truncated;
        return out;
    }
    if (type != kLzType) {
        out.damage = RtfDamage::UnknownType;
        return out;
    }
    decompressLz(data, std::min<std::size_t>(rawSize, kMaxRawBytes), out);
    if (out.damaged()) return out;
    if (truncated)
        out.damage = RtfDamage::Truncated;
    else if (crc32(data.data(), data.size()) != crc)
        out.damage = RtfDamage::BadCrc;
    return out;
}

Bytes compressRtfLiterals(ByteView rtf) {
    Bytes out(kHeaderSize);
    std::size_t write = kPreset.size();
    // Every byte a literal, then the end marker: a reference to the current write position.
    const std::size_t tokens = rtf.size() + 1;
    for (std::size_t run = 0; run < tokens; run += 8) {
        const std::size_t control = out.size();
        out.push_back(0);
        for (std::size_t k = run; k < std::min(tokens, run + 8); ++k) {
            if (k < rtf.size()) {
                out.push_back(rtf[k]);
                write = (write + 1) % kDictionarySize;
                continue;
            }
            out[control] |= static_cast<std::uint8_t>(1u << (k - run));
            out.push_back(static_cast<std::uint8_t>(write >> 4));
            out.push_back(static_cast<std::uint8_t>((write & 0xF) << 4));
        }
    }
    store32(out.data(), static_cast<std::uint32_t>(out.size() - 4));
    store32(out.data() + 4, static_cast<std::uint32_t>(rtf.size()));
    store32(out.data() + 8, kLzType);
    store32(out.data() + 12, crc32(out.data() + kHeaderSize, out.size() - kHeaderSize));
    return out;
}

}  // namespace brevik
