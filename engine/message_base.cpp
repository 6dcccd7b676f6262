#include "engine/message_base.h"

#include <algorithm>

#include "engine/large_pages.h"
#include "engine/permute.h"
#include "engine/read_window.h"

namespace brevik {

MessageBase::MessageBase() = default;
MessageBase::~MessageBase() = default;

bool MessageBase::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (out.empty()) return false;
    if (!source || stopped()) return false;
    if (ReadWindow::serve(*this, offset, out)) return true;
    if (!source->readExact(offset, out)) {
        errorCode.store(ERROR_FILE_ACCESS, std::memory_order_relaxed);
        return false;
    }
    return true;
}

Bytes MessageBase::readAt(std::uint64_t offset, std::size_t size) {
    // Held by a window: copied once, without clearing first.
    if (size != 0 && source && !stopped())
        if (const std::uint8_t* held = ReadWindow::view(*this, offset, size))
            return Bytes(held, held + size);
    Bytes out(size);
    if (!readAt(offset, std::span<std::uint8_t>(out))) out.clear();
    return out;
}

bool MessageBase::openFile() {
    std::string why;
    source = FileSource::open(workPath, &why);
    if (!source) {
        errorText = why;
        fileSize = 0;
        return false;
    }
    fileSize = source->size();
    return true;
}

void MessageBase::attachSource(std::unique_ptr<ByteSource> src) {
    source = std::move(src);
    fileSize = source ? source->size() : 0;
}

void MessageBase::decodeBlockBytes(std::uint8_t* data, std::size_t length, std::uint64_t blockId,
                                   std::size_t offset) const {
    if (!decodesBlocks() || length == 0) return;
    if (cyclicBlocks())
        cryptCyclic(data, length, static_cast<std::uint32_t>(blockId), offset);
    else
        decodePermute(data, length);
}

void MessageBase::decodeFileBytes(std::uint8_t* data, std::size_t length,
                                  std::uint64_t position) const {
    if (!decodesBlocks() || length == 0) return;
    if (!cyclicBlocks()) {
        decodePermute(data, length);
        return;
    }
    // The block that holds the position: the last one starting at or before it.
    auto it = std::upper_bound(
        blockOffsetIndex.begin(), blockOffsetIndex.end(), position,
        [](std::uint64_t pos, const BlockOffsetRef& r) { return pos < r.fileOffset; });
    if (it == blockOffsetIndex.begin()) return;
    const BlockEntry& block = blockTable[static_cast<std::size_t>(std::prev(it)->index)];
    const std::uint64_t offset = position - block.fileOffset;
    if (offset + length > block.byteCount) return;
    cryptCyclic(data, length, static_cast<std::uint32_t>(block.blockId),
                static_cast<std::size_t>(offset));
}

void MessageBase::indexBlockOffsets() {
    blockOffsetIndex.clear();
    if (!cyclicBlocks()) return;
    reserveLarge(blockOffsetIndex, blockTable.size());
    for (std::size_t i = 0; i < blockTable.size(); ++i)
        if (!(blockTable[i].blockId & ndb::kInternalBlockBit))  // internal blocks are never encoded
            blockOffsetIndex.push_back({blockTable[i].fileOffset, static_cast<BlockIndex>(i)});
    std::stable_sort(blockOffsetIndex.begin(), blockOffsetIndex.end(),
                     [](const BlockOffsetRef& a, const BlockOffsetRef& b) {
                         return a.fileOffset < b.fileOffset;
                     });
}

void MessageBase::release() {
    source.reset();
    fileSize = 0;
    messageEntries.clear();
    messageEntries.shrink_to_fit();
    folderEntries.clear();
    folderEntries.shrink_to_fit();
    namedProps.clear();
    namedPropGuids.clear();
    leafBbtPages.clear();
    leafNbtPages.clear();
    blockTable.clear();
    blockTable.shrink_to_fit();
    nodeTable.clear();
    blockIdIndex.clear();
    blockIdIndex.shrink_to_fit();
    blockIdSlots = {};
    blockOffsetIndex.clear();
    blockOffsetIndex.shrink_to_fit();
    nodeTable.shrink_to_fit();
}

void MessageBase::reset() {
    release();
    errorCode = 0;
    errorText.clear();
    resultOk = 0;
    openMode = 0;
    itemCapacity = 0;
    itemCount = 0;
    folderCount = 0;
    folderCapacity = 0;
    messageNodeCount = 0;
    bbtPagesSeen = 0;
    censusPagesRead = 0;
    layoutFromHeader = false;
    nbtPagesSeen = 0;
    dropped = DropCounts{};
    damage.clear();
    inflateFaults.clear();
    formatCode = 0;
    layout = PageLayout{};
    cryptMethod = CryptMethod::Unrecognised;
    encodingState = encoding::kUndecided;
    stopRequested = false;
}

void setMessageBasePath(MessageBase& base, const std::string& path) {
    base.workPath = path;
    const std::string_view whole(path);
#ifdef _WIN32
    const auto slash = whole.find_last_of("/\\:");  // C:\x.pst, C:/x.pst and C:x.pst
#else
    const auto slash = whole.find_last_of('/');
#endif
    const std::string_view folder = slash == std::string_view::npos ? "." : whole.substr(0, slash);
    const std::string_view name = slash == std::string_view::npos ? whole : whole.substr(slash + 1);
    base.folderPath = std::string(folder.begin(), folder.end());
    base.fileName = std::string(name.begin(), name.end());
}

}  // namespace brevik
