// What a step of a pass that can fail returns: success, or the reason it failed with the file
// offset and the expected and found values where they are known. The pass translates a failure
// into the base's `resultOk` and `errorText` once, at its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brevik {

enum class Reason : std::uint8_t {
    Ok,
    Stopped,           // a stop was requested
    HeaderUnreadable,  // the header could not be read
    NoIndexPages,      // no complete pair of block and node index pages: not a data file
    NoReadableBlocks,  // no sampled data block is in a known encoding
    OutOfMemory,
    Unexpected,  // a failure of ours, not of the file
};

struct [[nodiscard]] Status {
    Reason reason = Reason::Ok;
    std::optional<std::uint64_t> offset;
    std::optional<std::uint64_t> expected, actual;

    static Status failure(Reason why) { return Status{why, {}, {}, {}}; }
    static Status at(Reason why, std::uint64_t fileOffset) {
        return Status{why, fileOffset, {}, {}};
    }
    bool ok() const { return reason == Reason::Ok; }
};

// One line for a user: the reason, then the offset and the values when known.
std::string describe(const Status& status);

}  // namespace brevik
