#include "engine/block_data.h"

#include <zlib.h>

#include <algorithm>

#include "engine/damage_log.h"
#include "engine/message_base.h"
#include "engine/ndb_format.h"

namespace brevik {

InflateFault inflateInto(ByteView stored, std::span<std::uint8_t> out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return InflateFault::Corrupt;
    z.next_in = const_cast<Bytef*>(stored.data());
    z.avail_in = static_cast<uInt>(stored.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t produced = out.size() - z.avail_out;
    // A stream that ends exactly at the stated size is sound; one that still has output to give
    // when the room is full claims more than it states.
    InflateFault fault = InflateFault::None;
    if (rc == Z_STREAM_END)
        fault = produced == out.size() ? InflateFault::None : InflateFault::WrongSize;
    else if (rc == Z_BUF_ERROR && z.avail_out == 0)
        fault = InflateFault::WrongSize;
    else
        fault = rc == Z_BUF_ERROR ? InflateFault::WrongSize : InflateFault::Corrupt;
    inflateEnd(&z);
    return fault;
}

void InflateFaults::note(std::uint64_t fileOffset) {
    std::lock_guard lock(mutex_);
    offsets_.insert(fileOffset);
}

bool InflateFaults::contains(std::uint64_t fileOffset) const {
    std::lock_guard lock(mutex_);
    return offsets_.count(fileOffset) != 0;
}

std::uint64_t InflateFaults::count() const {
    std::lock_guard lock(mutex_);
    return offsets_.size();
}

std::vector<std::uint64_t> InflateFaults::firstOffsets() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint64_t> sorted(offsets_.begin(), offsets_.end());
    std::sort(sorted.begin(), sorted.end());  // the same whichever thread noted first
    return sorted;
}

void InflateFaults::clear() {
    std::lock_guard lock(mutex_);
    offsets_.clear();
}

bool isDeflated(const MessageBase& base, const BlockEntry& e) {
    return base.layout.inflatedSizes && e.inflatedCount != e.byteCount;
}

std::size_t blockDataSize(const MessageBase& base, const BlockEntry& e) {
    return isDeflated(base, e) ? e.inflatedCount : e.byteCount;
}

bool readBlockDataInto(MessageBase& base, const BlockEntry& e, std::span<std::uint8_t> out) {
    if (!isDeflated(base, e)) return out.size() == e.byteCount && base.readAt(e.fileOffset, out);
    if (out.size() != e.inflatedCount) return false;
    // A block can hold no more than the layout's largest block: a larger claim is damage.
    InflateFault fault = InflateFault::TooLarge;
    if (e.inflatedCount <= ndb::maxBlockData(base.layout) &&
        e.byteCount <= ndb::maxBlockData(base.layout)) {
        const Bytes stored = base.readAt(e.fileOffset, e.byteCount);
        if (stored.empty()) return false;
        fault = inflateInto(stored, out);
    }
    if (fault == InflateFault::None) return true;
    base.inflateFaults.note(e.fileOffset);
    return false;
}

Bytes readBlockData(MessageBase& base, const BlockEntry& e) {
    Bytes out(blockDataSize(base, e));
    if (out.empty() || !readBlockDataInto(base, e, out)) return {};
    return out;
}

}  // namespace brevik
