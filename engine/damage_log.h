// What a recovery run found damaged: per kind a count and the file offsets of the first cases,
// and whether that kind means lost data.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace brevik {

enum class DamageKind : std::uint8_t {
    FileShorterThanHeader,  // the header's end-of-file lies past the file's end
    LiveIndexPageChecksum,  // a leaf index page the header reaches fails its checksum
    LiveBlockPastEnd,       // a live block entry points past the end of the file
    LiveNodeWithoutData,    // a live folder or item entry whose data block is unknown
    ItemNotLoaded,          // an item whose properties could not be read
    StaleIndexEntries,      // stale or garbled index entries (normal in used files)
    UnreadablePages,        // pages the census could not read (a bad stretch of the disk)
    FolderNotLoaded,        // a live folder whose properties could not be read
    // Broken structures that other readers need and the recovery rebuilt around.
    HeaderDamaged,         // header magic, checksums, crypt method or allocation-map flag wrong
    IndexRootLost,         // the header's index root is not an index page
    IndexPageDamaged,      // an index page the tree points at is not a sound index page
    AllocationMapDamaged,  // an allocation-map page is missing or broken
    // What the structure held and the recovery could not give back whole.
    FolderLost,        // a folder whose items were found without it
    ItemOnlyRowLeft,   // an item of which only its row in a contents table is left
    DeflatedBlocks,    // deflated blocks that do not inflate to the size they state
    ItemPartsDamaged,  // readable items with parts (a body, an attachment) whose blocks fail
    Count
};

// Offsets kept per kind; the count goes on.
inline constexpr std::size_t kDamageOffsetsKept = 5;

class DamageLog {
  public:
    void note(DamageKind kind, std::uint64_t fileOffset) {
        Entry& e = entries_[static_cast<std::size_t>(kind)];
        ++e.count;
        if (e.firstOffsets.size() < kDamageOffsetsKept &&
            std::find(e.firstOffsets.begin(), e.firstOffsets.end(), fileOffset) ==
                e.firstOffsets.end())
            e.firstOffsets.push_back(fileOffset);
    }
    std::uint64_t count(DamageKind kind) const {
        return entries_[static_cast<std::size_t>(kind)].count;
    }
    const std::vector<std::uint64_t>& firstOffsets(DamageKind kind) const {
        return entries_[static_cast<std::size_t>(kind)].firstOffsets;
    }
    // Stale entries are how a used file looks, and a broken structure the recovery rebuilt
    // costs nothing; every other kind cost the user something.
    static bool losesData(DamageKind kind) {
        return kind != DamageKind::StaleIndexEntries && !isStructural(kind);
    }
    static bool isStructural(DamageKind kind) {
        return kind == DamageKind::HeaderDamaged || kind == DamageKind::IndexRootLost ||
               kind == DamageKind::IndexPageDamaged || kind == DamageKind::AllocationMapDamaged;
    }
    // Anything beyond stale entries: a file that other readers would refuse or misread.
    bool damaged() const {
        for (std::size_t k = 0; k < entries_.size(); ++k)
            if (entries_[k].count && static_cast<DamageKind>(k) != DamageKind::StaleIndexEntries)
                return true;
        return false;
    }
    // The index the header names was not (wholly) usable: reachability is no sign of liveness.
    bool indexDamaged() const {
        return count(DamageKind::IndexRootLost) || count(DamageKind::IndexPageDamaged) ||
               count(DamageKind::LiveIndexPageChecksum);
    }
    bool dataLost() const {
        for (std::size_t k = 0; k < entries_.size(); ++k)
            if (entries_[k].count && losesData(static_cast<DamageKind>(k))) return true;
        return false;
    }
    void clear() { entries_ = {}; }
    // Adds the cases of `later`, as if noted here after the ones before: a log per part of
    // work, added in order, ends as one noted by a single thread would.
    void append(const DamageLog& later) {
        for (std::size_t k = 0; k < entries_.size(); ++k) {
            const Entry& from = later.entries_[k];
            entries_[k].count += from.count;
            for (const std::uint64_t offset : from.firstOffsets) {
                std::vector<std::uint64_t>& kept = entries_[k].firstOffsets;
                if (kept.size() < kDamageOffsetsKept &&
                    std::find(kept.begin(), kept.end(), offset) == kept.end())
                    kept.push_back(offset);
            }
        }
    }

  private:
    struct Entry {
        std::uint64_t count = 0;
        std::vector<std::uint64_t> firstOffsets;
    };
    std::array<Entry, static_cast<std::size_t>(DamageKind::Count)> entries_{};
};

const char* damageKindName(DamageKind kind);

}  // namespace brevik
