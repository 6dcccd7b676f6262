#include "support/store_image.h"

#include "support/pst_image.h"

namespace brevik::test {
namespace {

Bytes utf16(const std::string& ascii) {
    Bytes out;
    for (char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

Bytes le64(std::uint64_t v) {
    Bytes b(8);
    store64(b.data(), v);
    return b;
}

template <typename T>
std::vector<std::vector<T>> chunks(const std::vector<T>& all, std::size_t per) {
    std::vector<std::vector<T>> out;
    for (std::size_t i = 0; i < all.size(); i += per)
        out.emplace_back(all.begin() + i, all.begin() + std::min(all.size(), i + per));
    return out;
}

}  // namespace

StoreImage::StoreImage(bool unicode, bool permute) : blocks_(unicode, permute) {}

std::uint64_t StoreImage::folderData(const std::string& name, const std::string& containerClass) {
    HeapBuilder heap(0xBC);
    std::vector<PcProp> props{{0x3001, 0x001F, heap.add(utf16(name))},
                              {0x3602, 0x0003, 0},
                              {0x3613, 0x001F, heap.add(utf16(containerClass))}};
    if (name.empty()) props.erase(props.begin());
    addPropertyContext(heap, props);
    return blocks_.blockId(blocks_.addHeap(heap, false));
}

std::uint64_t StoreImage::itemData(const std::string& subject, const std::string& messageClass,
                                   const std::string& sender, std::uint64_t deliveryTime) {
    HeapBuilder heap(0xBC);
    std::vector<PcProp> props{{0x001A, 0x001F, heap.add(utf16(messageClass))},
                              {0x0037, 0x001F, heap.add(utf16(subject))},
                              {0x0042, 0x001F, heap.add(utf16(sender))},
                              {0x1000, 0x001F, heap.add(utf16("Body of " + subject))}};
    if (deliveryTime) props.push_back({0x0E06, 0x0040, heap.add(le64(deliveryTime))});
    addPropertyContext(heap, props);
    return blocks_.blockId(blocks_.addHeap(heap, false));
}

void StoreImage::node(std::uint32_t nodeId, std::uint64_t dataBid, std::uint32_t parent, bool live,
                      std::uint64_t subnodeBid) {
    NodeEntry n{
        .nodeId = nodeId, .dataBid = dataBid, .subnodeBid = subnodeBid, .parentNodeId = parent};
    (live ? live_ : stale_).push_back(n);
}

Bytes StoreImage::build() const {
    const bool u = blocks_.unicode();
    ImageBuilder copy = blocks_;
    Bytes data = copy.image();
    const std::size_t firstPage = (data.size() + 511) / 512 + 1;
    const auto blockPages = chunks(copy.table(), u ? 20 : 41);
    const auto livePages = chunks(live_, u ? 15 : 31);
    const auto stalePages = chunks(stale_, u ? 15 : 31);
    const std::size_t pages =
        firstPage + blockPages.size() + 1 + livePages.size() + 1 + stalePages.size();
    PstImage img(u, pages);
    // The data area starts after the header; the block builder leaves that space empty.
    img.putBytes(1024, ByteView(data).subspan(1024));

    std::size_t page = firstPage;
    std::vector<std::uint64_t> bbtLeaves, liveLeaves;
    for (const auto& p : blockPages) {
        img.putLeafBlockPage(page, p);
        bbtLeaves.push_back(PstImage::pageOffset(page++));
    }
    const std::size_t bbtRoot = page++;
    img.putIntermediatePage(bbtRoot, false, bbtLeaves);
    if (staleFirst_)
        for (const auto& p : stalePages)
            img.putLeafNodePage(page++, p);
    for (const auto& p : livePages) {
        img.putLeafNodePage(page, p);
        liveLeaves.push_back(PstImage::pageOffset(page++));
    }
    const std::size_t nbtRoot = page++;
    img.putIntermediatePage(nbtRoot, true, liveLeaves);
    if (!staleFirst_)
        for (const auto& p : stalePages)
            img.putLeafNodePage(page++, p);
    img.setRoots(PstImage::pageOffset(bbtRoot), PstImage::pageOffset(nbtRoot));
    return img.bytes();
}

}  // namespace brevik::test
