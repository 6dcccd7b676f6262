// The blocks one piece of work is about to read, gathered into few reads of the file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/bytes.h"
#include "engine/index_entries.h"

namespace brevik {

class MessageBase;

// An item's blocks usually lie close together, and a read of the file costs as much as copying
// a few kilobytes: one read of the stretch that holds them beats one read per block. While a
// window is open on a thread, that thread's reads of the base that fall wholly inside a stretch
// the window holds are served from memory; every other read goes to the file as before. Windows
// nest: an inner one also serves what the outer ones hold.
class ReadWindow {
  public:
    explicit ReadWindow(MessageBase& base);
    ~ReadWindow();
    ReadWindow(const ReadWindow&) = delete;
    ReadWindow& operator=(const ReadWindow&) = delete;

    // Reads the blocks `blocks` (block table indexes; invalid ones and ones an open window
    // holds already are skipped), blocks less than kMaxGap apart in one read, and the reads in
    // one batch. A stretch that cannot be read is left to the block reads, which then fail or
    // not as they would have alone.
    void readBlocks(std::span<const BlockIndex> blocks);

    // Copies [offset, offset + out.size()) from the windows open on this thread for `base`;
    // false when none holds all of it.
    static bool serve(const MessageBase& base, std::uint64_t offset, std::span<std::uint8_t> out);
    // Whether the windows open on this thread hold all of [offset, offset + size).
    static bool held(const MessageBase& base, std::uint64_t offset, std::size_t size);
    // Where the windows open on this thread hold [offset, offset + size); null when none does.
    // Valid while the window that holds it is open.
    static const std::uint8_t* view(const MessageBase& base, std::uint64_t offset,
                                    std::size_t size) {
        return find(base, offset, size);
    }

    // Blocks closer than this share a read, of at most kMaxStretch bytes unless one block is
    // larger: a damaged list naming a great many blocks cannot make one huge read.
    static constexpr std::uint64_t kMaxGap = 4u << 10;
    static constexpr std::uint64_t kMaxStretch = 1u << 20;

  private:
    static const std::uint8_t* find(const MessageBase& base, std::uint64_t offset,
                                    std::size_t size);
    struct Stretch {
        std::uint64_t offset;
        std::size_t size;
        std::unique_ptr<std::uint8_t[]> bytes;  // left uninitialised: the read fills it
        std::uint64_t reach = 0;  // the furthest end of this and every stretch before it
    };
    static bool holds(const Stretch& s, std::uint64_t offset, std::size_t size);
    MessageBase& base_;
    std::vector<Stretch> stretches_;  // by offset
    // The stretch that served the last read; reads of this thread alone touch it.
    mutable std::size_t lastHit_ = 0;
    ReadWindow* outer_;
};

}  // namespace brevik
