// Many small reads of the file served by few large ones, for phases that read known ranges in a
// known order (index pages, subnode blocks): ranges that follow each other closely in the file
// share one read.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/message_base.h"

namespace brevik {

struct FileRange {
    std::uint64_t offset = 0;
    std::size_t size = 0;
};

class RangeReader {
  public:
    // `ranges` in the order they will be asked for.
    RangeReader(MessageBase& base, std::vector<FileRange> ranges);

    // The bytes of range `i`; empty when they cannot be read (a failed read sets the base's
    // error as MessageBase::readAt does). Valid until the next call.
    ByteView read(std::size_t i);

  private:
    void fill(std::size_t i);

    MessageBase& base_;
    std::vector<FileRange> ranges_;
    // The last shared read: `windowSize_` bytes of storage for `windowCapacity_`, left
    // uninitialised between reads since each read fills what it uses.
    std::unique_ptr<std::uint8_t[]> window_;
    std::size_t windowSize_ = 0;
    std::size_t windowCapacity_ = 0;
    std::uint64_t windowStart_ = 0;
    Bytes single_;
    std::uint64_t hintedUpTo_ = 0;  // the file is told of what follows up to here
    std::size_t hintScan_ = 0;      // the first range not yet looked at for hints
    std::uint64_t scannedEnd_ = 0;  // the furthest end of the ranges looked at
};

}  // namespace brevik
