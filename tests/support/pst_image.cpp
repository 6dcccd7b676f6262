#include "support/pst_image.h"

#include <cstring>

#include "engine/byte_source.h"

namespace brevik::test {

PstImage::PstImage(bool unicode, std::size_t pages) : unicode_(unicode), bytes_(pages * 512, 0) {
    std::memcpy(bytes_.data(), "!BDN", 4);
    bytes_[8] = 'S';
    bytes_[9] = 'M';
    setVersion(unicode ? 23 : 14);
    setCrypt(1);
}

void PstImage::resize(std::size_t pages) {
    bytes_.resize(pages * 512, 0);
}

void PstImage::setVersion(std::uint16_t version) {
    store16(bytes_.data() + 10, version);
}

void PstImage::setCrypt(std::uint8_t method) {
    bytes_[unicode_ ? 513 : 461] = method;
}

void PstImage::setRoots(std::uint64_t bbtRoot, std::uint64_t nbtRoot) {
    if (unicode_) {
        store64(bytes_.data() + 240, bbtRoot);
        store64(bytes_.data() + 224, nbtRoot);
    } else {
        store32(bytes_.data() + 196, static_cast<std::uint32_t>(bbtRoot));
        store32(bytes_.data() + 188, static_cast<std::uint32_t>(nbtRoot));
    }
}

void PstImage::putTrailer(std::uint8_t* page, std::uint8_t type) {
    const std::size_t pos = unicode_ ? 496 : 500;
    page[pos] = type;
    page[pos + 1] = type;
}

void PstImage::putLeafBlockPage(std::size_t page, const std::vector<BlockEntry>& entries) {
    std::uint8_t* p = bytes_.data() + pageOffset(page);
    std::memset(p, 0, 512);
    const std::size_t es = unicode_ ? 24 : 12;
    for (std::size_t j = 0; j < entries.size(); ++j) {
        std::uint8_t* e = p + j * es;
        const BlockEntry& b = entries[j];
        if (unicode_) {
            store64(e, b.blockId);
            store64(e + 8, b.fileOffset);
            store16(e + 16, b.byteCount);
            store16(e + 18, b.refCount);
        } else {
            store32(e, static_cast<std::uint32_t>(b.blockId));
            store32(e + 4, static_cast<std::uint32_t>(b.fileOffset));
            store16(e + 8, b.byteCount);
            store16(e + 10, b.refCount);
        }
    }
    const std::size_t countPos = unicode_ ? 488 : 496;
    p[countPos] = static_cast<std::uint8_t>(entries.size());
    p[countPos + 1] = static_cast<std::uint8_t>((unicode_ ? 488 : 496) / es);
    p[countPos + 2] = static_cast<std::uint8_t>(es);
    p[countPos + 3] = 0;
    putTrailer(p, 0x80);
}

void PstImage::putLeafNodePage(std::size_t page, const std::vector<NodeEntry>& entries) {
    std::uint8_t* p = bytes_.data() + pageOffset(page);
    std::memset(p, 0, 512);
    const std::size_t es = unicode_ ? 32 : 16;
    for (std::size_t j = 0; j < entries.size(); ++j) {
        std::uint8_t* e = p + j * es;
        const NodeEntry& n = entries[j];
        if (unicode_) {
            store64(e, n.nodeId);
            store64(e + 8, n.dataBid);
            store64(e + 16, n.subnodeBid);
            store32(e + 24, n.parentNodeId);
        } else {
            store32(e, n.nodeId);
            store32(e + 4, static_cast<std::uint32_t>(n.dataBid));
            store32(e + 8, static_cast<std::uint32_t>(n.subnodeBid));
            store32(e + 12, n.parentNodeId);
        }
    }
    const std::size_t countPos = unicode_ ? 488 : 496;
    p[countPos] = static_cast<std::uint8_t>(entries.size());
    p[countPos + 1] = static_cast<std::uint8_t>((unicode_ ? 488 : 496) / es);
    p[countPos + 2] = static_cast<std::uint8_t>(es);
    p[countPos + 3] = 0;
    putTrailer(p, 0x81);
}

void PstImage::putIntermediatePage(std::size_t page, bool nodeIndex,
                                   const std::vector<std::uint64_t>& children) {
    std::uint8_t* p = bytes_.data() + pageOffset(page);
    std::memset(p, 0, 512);
    const std::size_t es = unicode_ ? 24 : 12;
    for (std::size_t j = 0; j < children.size(); ++j) {
        std::uint8_t* e = p + j * es;
        if (unicode_) {
            store64(e, j + 1);       // key
            store64(e + 8, 0x1000);  // bid of the child page
            store64(e + 16, children[j]);
        } else {
            store32(e, static_cast<std::uint32_t>(j + 1));
            store32(e + 4, 0x1000);
            store32(e + 8, static_cast<std::uint32_t>(children[j]));
        }
    }
    const std::size_t countPos = unicode_ ? 488 : 496;
    p[countPos] = static_cast<std::uint8_t>(children.size());
    p[countPos + 1] = static_cast<std::uint8_t>((unicode_ ? 488 : 496) / es);
    p[countPos + 2] = static_cast<std::uint8_t>(es);
    p[countPos + 3] = 1;
    putTrailer(p, nodeIndex ? 0x81 : 0x80);
}

void PstImage::putBytes(std::uint64_t offset, ByteView data) {
    if (offset + data.size() > bytes_.size()) bytes_.resize(offset + data.size(), 0);
    std::memcpy(bytes_.data() + offset, data.data(), data.size());
}

std::unique_ptr<RecoveredBase> openImage(const Bytes& image, const char* name) {
    auto base = std::make_unique<RecoveredBase>();
    setMessageBasePath(*base, name);
    base->attachSource(std::make_unique<MemorySource>(image));
    return base;
}

Bytes subnodeLeafBlock(bool unicode, const std::vector<SubnodeSpec>& entries) {
    const std::size_t k = unicode ? 2 : 1;
    Bytes b(4 * k + entries.size() * 12 * k, 0);
    b[0] = 0x02;
    b[1] = 0;
    store16(b.data() + 2, static_cast<std::uint16_t>(entries.size()));
    for (std::size_t j = 0; j < entries.size(); ++j) {
        std::uint8_t* e = b.data() + 4 * k + j * 12 * k;
        if (unicode) {
            store64(e, entries[j].nodeId);
            store64(e + 8, entries[j].dataBid);
            store64(e + 16, entries[j].subnodeBid);
        } else {
            store32(e, static_cast<std::uint32_t>(entries[j].nodeId));
            store32(e + 4, static_cast<std::uint32_t>(entries[j].dataBid));
            store32(e + 8, static_cast<std::uint32_t>(entries[j].subnodeBid));
        }
    }
    return b;
}

Bytes subnodeIntermediateBlock(bool unicode, const std::vector<std::uint64_t>& childBids) {
    const std::size_t k = unicode ? 2 : 1;
    Bytes b(4 * k + childBids.size() * 8 * k, 0);
    b[0] = 0x02;
    b[1] = 1;
    store16(b.data() + 2, static_cast<std::uint16_t>(childBids.size()));
    for (std::size_t j = 0; j < childBids.size(); ++j) {
        std::uint8_t* e = b.data() + 4 * k + j * 8 * k;
        if (unicode) {
            store64(e, j);
            store64(e + 8, childBids[j]);
        } else {
            store32(e, static_cast<std::uint32_t>(j));
            store32(e + 4, static_cast<std::uint32_t>(childBids[j]));
        }
    }
    return b;
}

}  // namespace brevik::test
