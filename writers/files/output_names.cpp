#include "writers/files/output_names.h"

#include <array>
#include <cctype>
#include <cstring>

#include "engine/native_files.h"
#include "message/text.h"

namespace brevik::files {
namespace {

// Bytes of the UTF-8 sequence starting at `s[i]`, or 0 when it is not valid UTF-8.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t n = lead < 0x80         ? 1
                    : (lead >> 5) == 6  ? 2
                    : (lead >> 4) == 14 ? 3
                    : (lead >> 3) == 30 ? 4
                                        : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    if (n == 2 && lead < 0xC2) return 0;  // overlong
    return n;
}

bool isReservedDeviceName(std::string_view name) {
    // Windows reserves these names with any extension.
    const std::string_view stem = name.substr(0, name.find('.'));
    std::string upper;
    for (char c : stem)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while (!upper.empty() && upper.back() == ' ')
        upper.pop_back();
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    for (auto r : kPlain)
        if (upper == r) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '0' && upper[3] <= '9';
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string safeName(std::string_view text, std::size_t maxBytes) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8Length(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (n == 0) {
            out += '_';
            ++i;
            continue;
        }
        if (n == 1) {
            const bool bad = c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
            out += bad ? '_' : static_cast<char>(c);
        } else if (char32_t cp = 0; decodeUtf8At(text, i, cp) != n) {
            out += '_';  // a surrogate or a value past U+10FFFF
        } else if (!isInvisibleControl(cp)) {
            out.append(text.substr(i, n));
        }  // invisible controls go: a name must read as it is
        i += n;
    }
    // Leading dots (hidden files), "..", and trailing dots or blanks (dropped by some systems).
    const std::size_t first = out.find_first_not_of(". ");
    if (first == std::string::npos) return {};
    out.erase(0, first);
    for (std::size_t p; (p = out.find("..")) != std::string::npos;)
        out.replace(p, 2, "_.");
    if (out.size() > maxBytes) {
        std::size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out.pop_back();
    if (!out.empty() && isReservedDeviceName(out)) out.insert(0, "_");
    return out;
}

std::string attachmentFileName(std::string_view name) {
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    std::string safe = safeName(name);
    return safe.empty() ? "attachment" : safe;
}

std::string itemFileStem(std::uint32_t number, std::string_view subject) {
    const std::string s = safeName(subject);
    return s.empty() ? std::to_string(number) : std::to_string(number) + "_" + s;
}

std::string NameSet::claim(const std::string& stem, const std::string& extension) {
    std::string name = stem + extension;
    for (unsigned n = 2; !taken_.insert(lowerAscii(name)).second; ++n)
        name = stem + " (" + std::to_string(n) + ")" + extension;
    return name;
}

pst::WriteStatus makeFreshFolder(const std::string& parent, const std::string& name,
                                 std::string& made) {
    for (unsigned n = 1; n < 10000; ++n) {
        const std::string candidate = native::utf8FromPath(
            native::pathFromUtf8(parent) /
            native::pathFromUtf8(n == 1 ? name : name + " (" + std::to_string(n) + ")"));
        const native::IoError e = native::makeFolder(candidate);
        if (!e.failed()) {
            made = candidate;
            return {};
        }
        if (e.kind != native::IoErrorKind::Exists)
            return pst::WriteStatus::failure(
                e.kind == native::IoErrorKind::DiskFull ? pst::WriteError::DiskFull
                                                        : pst::WriteError::CannotCreate,
                "cannot create the folder " + candidate + ": " + e.text);
    }
    return pst::WriteStatus::failure(pst::WriteError::CannotCreate,
                                     "too many folders named " + name + " in " + parent);
}

}  // namespace brevik::files
