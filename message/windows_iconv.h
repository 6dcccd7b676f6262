// iconv's interface over the code page conversions of Windows, which has no iconv: the few
// calls text.cpp makes, with the same results for invalid and incomplete input (-1 and errno
// EILSEQ, EINVAL or E2BIG, with the input advanced to the failing character).
#pragma once
#ifdef _WIN32

#include <cstddef>
#include <cstdint>

struct WindowsCodePage;
using iconv_t = WindowsCodePage*;

// A converter from Windows code page `codepage` (0: 1252) to UTF-8; (iconv_t)-1 when the system
// does not know it.
iconv_t iconvOpenCodePage(std::uint32_t codepage);
// iconv's own entry for the names of the pages (WINDOWS-1252, CP437, ISO-8859-7, UTF-8); `to`
// must be UTF-8.
iconv_t iconv_open(const char* to, const char* from);
std::size_t iconv(iconv_t cd, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft);
int iconv_close(iconv_t cd);

#endif
