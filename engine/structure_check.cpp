#include "engine/structure_check.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/crc.h"
#include "engine/trailers.h"

namespace brevik {
namespace {

using ndb::PageLayout;

bool pageOfType(ByteView page, const PageLayout& layout, std::uint8_t type) {
    if (page.size() < layout.pageSize) return false;
    const PageTrailer t = parsePageTrailer(page, layout);
    return t.type == type && t.typeRepeat == type && pageCrcMatches(page, layout);
}

bool headerSound(const MessageBase& base, const std::vector<std::uint8_t>& h) {
    const PageLayout& L = base.layout;
    if (std::memcmp(h.data(), ndb::kHeaderMagic, sizeof ndb::kHeaderMagic) != 0) return false;
    if (load32(h.data() + ndb::kHeaderPartialCrcPos) !=
        crc32(h.data() + ndb::kHeaderCrcStart, ndb::kHeaderPartialCrcLength))
        return false;
    if (base.isUnicode() && load32(h.data() + ndb::kHeaderFullCrcPos) !=
                                crc32(h.data() + ndb::kHeaderCrcStart, ndb::kHeaderFullCrcLength))
        return false;
    if (h[L.cryptMethodPos] > static_cast<std::uint8_t>(CryptMethod::Cyclic)) return false;
    // fAMapValid follows the block index root's BREF.
    return h[L.bbtRootPos + L.bidWidth] != 0;
}

}  // namespace

bool isIndexPage(ByteView page, const PageLayout& layout) {
    return pageOfType(page, layout, ndb::kBlockBTree) || pageOfType(page, layout, ndb::kNodeBTree);
}

void checkFileStructure(MessageBase& base) {
    const PageLayout& L = base.layout;
    std::vector<std::uint8_t> header(ndb::kHeaderSize);
    const bool headerRead = base.fileSize >= header.size() && base.readAt(0, header);
    if (!headerRead || !headerSound(base, header)) base.damage.note(DamageKind::HeaderDamaged, 0);

    std::vector<std::uint8_t> page(L.pageSize);
    for (const std::uint32_t rootPos : {L.bbtRootPos, L.nbtRootPos}) {
        const std::uint64_t root = headerRead ? (L.bidWidth == 8 ? load64(header.data() + rootPos)
                                                                 : load32(header.data() + rootPos))
                                              : 0;
        const std::uint8_t type = rootPos == L.bbtRootPos ? ndb::kBlockBTree : ndb::kNodeBTree;
        const bool sound = root != 0 && root % L.pageSize == 0 && root < base.fileSize &&
                           base.fileSize - root >= L.pageSize && base.readAt(root, page) &&
                           pageOfType(page, L, type);
        if (!sound) base.damage.note(DamageKind::IndexRootLost, rootPos);
    }

    // One allocation-map page heads each section the file reaches.
    const bool pages4k = L.pageSize != ndb::kPageSize;
    const std::uint64_t firstAMap = pages4k ? ndb::kFirstAMapOffset4k : ndb::kFirstAMapOffset;
    const std::uint64_t coverage = pages4k ? ndb::kAMapCoverage4k : ndb::kAMapCoverage;
    for (std::uint64_t at = firstAMap;
         at < base.fileSize && base.fileSize - at >= L.pageSize && !base.stopped(); at += coverage)
        if (!base.readAt(at, page) || !pageOfType(page, L, ndb::kAMap))
            base.damage.note(DamageKind::AllocationMapDamaged, at);
}

void checkCryptMethod(MessageBase& base) {
    const CryptMethod stated = base.cryptMethod;
    if (stated == CryptMethod::Unrecognised) return;  // the header check noted it
    const bool decodes = base.decodesBlocks();
    const bool cyclic = base.cyclicBlocks();
    const bool agrees = stated == CryptMethod::None      ? !decodes
                        : stated == CryptMethod::Permute ? decodes && !cyclic
                                                         : cyclic;
    if (!agrees) base.damage.note(DamageKind::HeaderDamaged, base.layout.cryptMethodPos);
}

}  // namespace brevik
