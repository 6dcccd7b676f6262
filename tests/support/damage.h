// Damages personal-folder images in memory the way failing disks and crashed writers do, and
// runs a bounded recovery over them.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/bytes.h"

namespace brevik::test {

Bytes readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const Bytes& bytes);
// `path` cut to `percent` of its size, written as `to`.
void writeTruncatedCopy(const std::string& path, int percent, const std::string& to);

// Header positions per layout ([MS-PST] HEADER and ROOT).
struct HeaderLayout {
    std::size_t size;         // bytes the header occupies
    std::size_t cryptPos;     // bCryptMethod
    std::size_t nbtRootPos;   // file offset of the node index root page
    std::size_t bbtRootPos;   // file offset of the block index root page
    std::size_t pageTypePos;  // ptype in a page trailer
    std::size_t levelPos;     // cLevel of an index page
    static HeaderLayout of(bool unicode);
};
inline constexpr std::size_t kCrcPartialPos = 4;  // dwCRCPartial, both layouts

// An index page found by its trailer.
struct IndexPage {
    std::uint64_t offset = 0;
    bool nodeIndex = false;
    std::uint8_t level = 0;
};
// Every 512-byte page whose trailer marks it as an index page of the layout, in file order.
std::vector<IndexPage> findIndexPages(const Bytes& image, bool unicode);
// The index pages reachable from the header's two roots (the live index), in file order.
std::vector<IndexPage> liveIndexPages(const Bytes& image, bool unicode);
// The root offset the header names; 0 when it does not fit.
std::uint64_t headerRoot(const Bytes& image, bool unicode, bool nodeIndex);
// Zeroes [offset, offset + length) clipped to the image.
void zeroRange(Bytes& image, std::uint64_t offset, std::uint64_t length);

// What a recovery left, as (node id, subject) of every listed item.
struct RecoveryOutcome {
    bool finished = false;  // ended within the time limit
    bool resultOk = false;
    bool sourceUnchanged = false;  // the source held the same bytes afterwards
    std::vector<std::pair<std::uint32_t, std::string>> items;
    std::vector<std::pair<std::uint32_t, std::string>> deletedItems;  // those with the deleted mark
};
// Recovers `image` through a memory source on a worker thread; after `limit` the run is asked
// to stop, and `finished` stays false when it still does not end.
RecoveryOutcome recoverImage(const Bytes& image, std::chrono::milliseconds limit);
// Share of `baseline` items (as a multiset) found again in `damaged`.
double recall(const RecoveryOutcome& baseline, const RecoveryOutcome& damaged);

}  // namespace brevik::test
