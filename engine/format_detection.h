// Decides the file's layout (ANSI or Unicode) from the trailers of its pages, not only its header.
#pragma once

#include <cstdint>

#include "engine/message_base.h"
#include "engine/status.h"

namespace brevik {

// Index pages of each kind seen by the census, per layout.
struct PageCensus {
    std::uint32_t ansiBlockPages = 0;
    std::uint32_t ansiNodePages = 0;
    std::uint32_t unicodeBlockPages = 0;
    std::uint32_t unicodeNodePages = 0;
    std::uint32_t unicode4kBlockPages = 0;  // 4 KiB pages, looked for on 4 KiB boundaries
    std::uint32_t unicode4kNodePages = 0;

    bool ansiComplete() const { return ansiBlockPages > 0 && ansiNodePages > 0; }
    bool unicodeComplete() const { return unicodeBlockPages > 0 && unicodeNodePages > 0; }
    bool unicode4kComplete() const { return unicode4kBlockPages > 0 && unicode4kNodePages > 0; }
};

// The format code for a census and the header's version byte (the low byte of wVer). Callers
// have checked that at least one pair is complete.
std::uint32_t chooseFormatCode(const PageCensus& census, std::uint8_t versionByte);

// Whether the census's pages are those of the 4 KiB layout: its pair is complete, and the header
// says so, or no other pair is complete, or (a header of no known version) its pages, each worth
// eight small ones, outnumber the others'.
bool chooses4kPages(const PageCensus& census, std::uint8_t versionByte);

// Census, format code, page layout, leaf index page lists and their reachability from the
// header's roots. Fails with the reason: stopped, a read of the census or the header failed (with
// its offset), or no complete pair of index pages of one layout was found.
Status findLayout(MessageBase& base);

// findLayout as a code: 0, or 101 when no layout could be decided or the run was stopped.
int detectFormat(MessageBase& base);

// The header's crypt method byte for the detected layout.
CryptMethod readCryptMethod(MessageBase& base);

}  // namespace brevik
