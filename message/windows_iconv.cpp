#ifdef _WIN32
#include "message/windows_iconv.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

namespace {

std::uint32_t codePageOf(iconv_t cd) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(cd));
}

}  // namespace

iconv_t iconvOpenCodePage(std::uint32_t codepage) {
    if (codepage == 0) codepage = 1252;
    if (!::IsValidCodePage(codepage)) return reinterpret_cast<iconv_t>(-1);
    // The converter keeps no state: the code page number is all of it.
    return reinterpret_cast<iconv_t>(static_cast<std::uintptr_t>(codepage));
}

iconv_t iconv_open(const char* to, const char* from) {
    const auto bad = reinterpret_cast<iconv_t>(-1);
    const auto upper = [](const char* s) {
        std::string out;
        for (; *s; ++s)
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
        return out;
    };
    if (upper(to) != "UTF-8") return bad;
    const std::string name = upper(from);
    const auto numberAfter = [&](std::string_view prefix) -> std::uint32_t {
        if (!name.starts_with(prefix) || name.size() == prefix.size()) return 0;
        std::uint32_t n = 0;
        for (char c : name.substr(prefix.size())) {
            if (c < '0' || c > '9' || n > 100000) return 0;
            n = n * 10 + static_cast<std::uint32_t>(c - '0');
        }
        return n;
    };
    std::uint32_t codepage = name == "UTF-8"                           ? 65001
                             : (name == "ASCII" || name == "US-ASCII") ? 20127
                             : name == "MACINTOSH"                     ? 10000
                             : name == "KOI8-R"                        ? 20866
                             : name == "KOI8-U"                        ? 21866
                                                                       : 0;
    if (const std::uint32_t n = numberAfter("ISO-8859-"); n) codepage = 28590 + n;
    if (const std::uint32_t n = numberAfter("WINDOWS-"); n) codepage = n;
    if (const std::uint32_t n = numberAfter("CP"); n) codepage = n;
    return codepage ? iconvOpenCodePage(codepage) : bad;
}

int iconv_close(iconv_t) {
    return 0;
}

std::size_t iconv(iconv_t cd, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
    if (!in || !*in) return 0;  // a reset: nothing is pending
    const std::uint32_t codepage = codePageOf(cd);
    CPINFO info{};
    if (!::GetCPInfo(codepage, &info)) {
        errno = EINVAL;
        return static_cast<std::size_t>(-1);
    }
    // UTF-8 and the stateful pages (ISO-2022, UTF-7) convert whole; Windows puts U+FFFD where
    // their input is invalid.
    if (codepage == CP_UTF8 || codepage >= 50000 || info.MaxCharSize > 2) {
        const int n = static_cast<int>(*inLeft);
        const int wideLength = ::MultiByteToWideChar(codepage, 0, *in, n, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(wideLength > 0 ? wideLength : 0), L'\0');
        ::MultiByteToWideChar(codepage, 0, *in, n, wide.data(), wideLength);
        const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0,
                                                 nullptr, nullptr);
        if (static_cast<std::size_t>(length) > *outLeft) {
            errno = E2BIG;
            return static_cast<std::size_t>(-1);
        }
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, *out, length, nullptr, nullptr);
        *out += length;
        *outLeft -= static_cast<std::size_t>(length);
        *in += *inLeft;
        *inLeft = 0;
        return 0;
    }
    // Single- and double-byte pages, a character at a time, so that a failure has a place.
    while (*inLeft > 0) {
        const auto lead = static_cast<BYTE>(**in);
        const std::size_t length =
            info.MaxCharSize == 2 && ::IsDBCSLeadByteEx(codepage, lead) ? 2 : 1;
        if (length > *inLeft) {
            errno = EINVAL;
            return static_cast<std::size_t>(-1);
        }
        // Windows strips the top bit of bytes that are not ASCII instead of refusing them.
        const bool notAscii = codepage == 20127 && lead >= 0x80;
        wchar_t wide[4];
        const int n = notAscii ? 0
                               : ::MultiByteToWideChar(codepage, MB_ERR_INVALID_CHARS, *in,
                                                       static_cast<int>(length), wide, 4);
        if (n <= 0) {
            errno = EILSEQ;
            return static_cast<std::size_t>(-1);
        }
        char utf8[16];
        const int m =
            ::WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
        if (static_cast<std::size_t>(m) > *outLeft) {
            errno = E2BIG;
            return static_cast<std::size_t>(-1);
        }
        std::memcpy(*out, utf8, static_cast<std::size_t>(m));
        *out += m;
        *outLeft -= static_cast<std::size_t>(m);
        *in += length;
        *inLeft -= length;
    }
    return 0;
}
#endif
