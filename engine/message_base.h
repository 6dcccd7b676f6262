// The record of one message base (a personal folder file): its identity, the open file, the
// format found in it and every table the engine builds, and its positioned reads. What the
// message layer and the recovery build on top (summary rows, folder tree) is RecoveredBase's.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/block_data.h"
#include "engine/byte_source.h"
#include "engine/bytes.h"
#include "engine/damage_log.h"
#include "engine/index_entries.h"
#include "engine/item_tables.h"
#include "engine/ndb_format.h"
#include "engine/progress.h"

namespace brevik {

inline constexpr std::uint32_t ERROR_FILE_ACCESS = 1567589;
inline constexpr std::uint32_t ERROR_NO_READABLE_BLOCKS = 76567;
inline constexpr std::uint32_t ERROR_SAVE_CANCELED = 9878765;

// Layout classes of the result of format detection: ANSI codes lie at or below 4094, Unicode
// codes at or above 8191.
inline constexpr std::uint32_t kFormatAnsiLimit = 5329;
inline bool isUnicodeFormat(std::uint32_t formatCode) {
    return formatCode >= kFormatAnsiLimit;
}
// The Unicode layout with 4 KiB pages and deflated blocks, found by its own pages.
inline constexpr std::uint32_t kFormatUnicode4k = 69632;

using PageLayout = ndb::PageLayout;

// Header crypt method ([MS-PST] bCryptMethod).
enum class CryptMethod : std::uint8_t { None = 0, Permute = 1, Cyclic = 2, Unrecognised = 255 };

// Values of `encodingState`; readers decode block data when the state is below the threshold.
namespace encoding {
inline constexpr std::int32_t kUndecided = 56757544;
inline constexpr std::int32_t kPermuteEarly = 21273;
inline constexpr std::int32_t kPermuteNoPlain = 19990;
inline constexpr std::int32_t kPermuteMajority = 19332;
inline constexpr std::int32_t kPlainEarly = 4255527;
inline constexpr std::int32_t kPlainMajority = 4256060;
inline constexpr std::int32_t kCyclicEarly = 31273;     // cyclic, decided early, header agreeing
inline constexpr std::int32_t kCyclicMajority = 31332;  // cyclic by majority
inline constexpr std::int32_t kDecodeBelow = 4245438;
}  // namespace encoding

// What a run skipped or rebuilt, so that a user can be told how much of the file was unusable.
struct DropCounts {
    std::uint32_t blocksPastEnd = 0;       // block entries pointing past the end of the file
    std::uint32_t blocksMalformed = 0;     // block entries off a block boundary or with id 0
    std::uint32_t nodesWithoutData = 0;    // folder and item entries whose data block is unknown
    std::uint32_t duplicateItems = 0;      // further copies of the same item
    std::uint32_t itemsNotLoaded = 0;      // items whose properties could not be read
    std::uint32_t itemsFromDataAlone = 0;  // items kept from their data block, node entry lost
    std::uint32_t orphanGroups = 0;        // folders made up for items whose folder is gone
    std::uint32_t itemsFromTableRows = 0;  // items kept from a contents-table row alone
    std::uint32_t blocksFromTrailers = 0;  // blocks the index lost, found by their trailers
    bool operator==(const DropCounts&) const = default;
};

class MessageBase {
  public:
    MessageBase();
    virtual ~MessageBase();
    MessageBase(const MessageBase&) = delete;
    MessageBase& operator=(const MessageBase&) = delete;

    // --- identity, kept by the shell ---
    std::string fileName;
    std::string folderPath;
    std::string workPath;
    std::int16_t baseKind = 0;
    std::uint32_t baseIndex = 0;
    std::uint32_t openMode = 0;

    // --- outcome of the last run ---
    std::atomic<std::uint32_t> errorCode{0};
    int resultOk = 0;
    std::string errorText;  // what went wrong, for messages that name the cause

    // --- the open file ---
    std::unique_ptr<ByteSource> source;
    std::uint64_t fileSize = 0;

    // --- format ---
    std::uint32_t formatCode = 0;
    PageLayout layout;
    CryptMethod cryptMethod = CryptMethod::Unrecognised;
    std::int32_t encodingState = encoding::kUndecided;

    // --- index tables ---
    std::vector<IndexPageInfo> leafBbtPages;
    std::vector<IndexPageInfo> leafNbtPages;
    std::uint32_t bbtPagesSeen = 0;  // every block index page, leaf or not, of the chosen layout
    std::uint32_t nbtPagesSeen = 0;
    std::uint64_t censusPagesRead = 0;  // pages the census looked at (live blocks' are skipped)
    bool layoutFromHeader = false;  // no complete pair of index pages: the header named the layout
    std::vector<BlockEntry> blockTable;
    std::vector<NodeEntry> nodeTable;
    std::vector<BlockIdRef> blockIdIndex;  // built with the tables; lookups by id
    BlockIdSlots blockIdSlots;             // from `blockIdIndex` (indexBlockIds)
    // Data blocks by file offset, for decoding cyclic values read by position alone.
    std::vector<BlockOffsetRef> blockOffsetIndex;
    std::uint32_t folderCapacity = 0;
    std::uint32_t messageNodeCount = 0;
    DropCounts dropped;
    DamageLog damage;             // what the last run found damaged, with offsets
    InflateFaults inflateFaults;  // deflated blocks that failed to inflate, from any thread
    // Whether this file's writer fills the block trailers (their sizes and ids, checksums and
    // inflated sizes) as the checks expect, as a sample of its live blocks shows (block_check.h).
    bool trailersHold = true;
    bool trailerCrcsHold = true;
    bool trailerSizesHold = true;

    // --- what a recovery pass found ---
    std::uint32_t itemCapacity = 0;
    std::uint32_t itemCount = 0;
    std::vector<MessageNodeEntry> messageEntries;
    std::vector<FolderEntry> folderEntries;
    std::uint32_t folderCount = 0;
    std::vector<NamedPropertyEntry> namedProps;
    std::vector<std::array<std::uint8_t, 16>> namedPropGuids;  // the map's GUID stream, in order

    // --- settings of a run ---
    // Threads that load items in a pass: 0 one per processor, 1 the calling thread alone. The
    // result is the same for every count.
    std::uint32_t passThreads = 0;
    // The census passes over pages that the intact live block index places inside blocks; off,
    // it reads every page (tests compare the two).
    bool censusSkipsLiveBlocks = true;

    // --- progress and stop ---
    ProgressMilestones* progress = nullptr;  // not owned; may be null
    std::atomic<bool> stopRequested{false};

    bool isUnicode() const { return isUnicodeFormat(formatCode); }
    bool has4kPages() const { return formatCode == kFormatUnicode4k; }
    bool decodesBlocks() const { return encodingState < encoding::kDecodeBelow; }
    bool cyclicBlocks() const {
        return encodingState == encoding::kCyclicEarly ||
               encodingState == encoding::kCyclicMajority;
    }
    // Decodes bytes of a data block with id `blockId` read from `offset` bytes into it.
    void decodeBlockBytes(std::uint8_t* data, std::size_t length, std::uint64_t blockId,
                          std::size_t offset = 0) const;
    // Decodes bytes read at file position `position` inside a data block (a value read again by
    // its place in the file). Cyclic data needs `blockOffsetIndex`.
    void decodeFileBytes(std::uint8_t* data, std::size_t length, std::uint64_t position) const;
    // Builds `blockOffsetIndex` when the data is cyclic-encoded.
    void indexBlockOffsets();
    std::size_t blockCount() const { return blockTable.size(); }
    std::size_t nodeCount() const { return nodeTable.size(); }

    // Reads exactly out.size() bytes at `offset` into caller-owned storage. An empty request
    // returns false and leaves `errorCode` alone; so does a stopped run or a base without a file.
    // A failed or short read sets ERROR_FILE_ACCESS. Safe to call from several threads.
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> out);
    // The same into a new buffer; empty on failure.
    Bytes readAt(std::uint64_t offset, std::size_t size);
    // Tells the file what will be read soon (see ByteSource::willNeed).
    void willNeed(std::uint64_t offset, std::uint64_t length) const {
        if (source) source->willNeed(offset, length);
    }

    // Opens `workPath` (or the given source) for reading. False when the file cannot be opened.
    bool openFile();
    void attachSource(std::unique_ptr<ByteSource> src);

    // Asks a running pass to stop; it fails at its next checkpoint.
    void requestStop() { stopRequested.store(true, std::memory_order_relaxed); }
    bool stopped() const { return stopRequested.load(std::memory_order_relaxed); }
    void markProgress(int slot, std::uint32_t value = 513) {
        if (progress) progress->mark(slot, value);
    }

    // Frees everything a pass built and closes the file.
    virtual void release();
    // release() followed by a fresh start; keeps the identity fields.
    virtual void reset();
};

// Builds `workPath` from a full path and splits it into `folderPath` and `fileName`.
void setMessageBasePath(MessageBase& base, const std::string& path);

}  // namespace brevik
