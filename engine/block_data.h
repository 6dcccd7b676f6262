// The data of one block as the readers see it: its stored bytes, inflated when the layout keeps
// blocks deflated ([MS-PST] has no such blocks; offline files with 4 KiB pages do).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <unordered_set>
#include <vector>

#include "engine/bytes.h"
#include "engine/index_entries.h"

namespace brevik {

class MessageBase;

enum class InflateFault : std::uint8_t {
    None,
    TooLarge,   // states more than the layout's largest block holds
    Corrupt,    // not a zlib stream, or a damaged one
    WrongSize,  // inflates to fewer or more bytes than stated
};

// Inflates the zlib stream `stored` into `out`, which must be exactly the stated size: never
// more is written, so a stream that would inflate further (a hostile "zip bomb") costs nothing.
InflateFault inflateInto(ByteView stored, std::span<std::uint8_t> out);

// Deflated blocks that failed to inflate, each counted once however often it was read, noted
// from any thread during a run; the pass moves them into the damage log when it ends.
class InflateFaults {
  public:
    void note(std::uint64_t fileOffset);
    std::uint64_t count() const;
    bool contains(std::uint64_t fileOffset) const;
    std::vector<std::uint64_t> firstOffsets() const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::unordered_set<std::uint64_t> offsets_;
};

// True when the base's layout keeps `e` deflated (its stored and inflated sizes differ).
bool isDeflated(const MessageBase& base, const BlockEntry& e);

// The bytes of data `e` holds once inflated: what readBlockData returns on success.
std::size_t blockDataSize(const MessageBase& base, const BlockEntry& e);

// Reads block `e` and inflates it when deflated. Empty when the read fails or the block does not
// inflate to its stated size (noted in the base's inflate faults).
Bytes readBlockData(MessageBase& base, const BlockEntry& e);

// The same into `out`, of blockDataSize bytes; false on failure.
bool readBlockDataInto(MessageBase& base, const BlockEntry& e, std::span<std::uint8_t> out);

}  // namespace brevik
