// A file image that counts the reads reaching it, and the ranges announced to it.
#pragma once

#include <span>
#include <vector>

#include "engine/byte_source.h"
#include "engine/range_reader.h"

namespace brevik::test {

class CountingSource final : public ByteSource {
  public:
    explicit CountingSource(Bytes image) : image_(std::move(image)) {}
    std::uint64_t size() const override { return image_.size(); }
    bool readExact(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        ++reads;
        return image_.readExact(offset, out);
    }
    void willNeed(std::uint64_t offset, std::uint64_t length) const override {
        hints.push_back({offset, static_cast<std::size_t>(length)});
    }
    mutable int reads = 0;
    mutable std::vector<FileRange> hints;

  private:
    MemorySource image_;
};

}  // namespace brevik::test
