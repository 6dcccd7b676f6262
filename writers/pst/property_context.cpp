#include "writers/pst/property_context.h"

#include <algorithm>
#include <numeric>

#include "writers/pst/heap_builder.h"

namespace brevik::pst {

bool isInlineType(std::uint16_t type) {
    return type == ptypes::kInt16 || type == ptypes::kInt32 || type == ptypes::kFloat ||
           type == ptypes::kError || type == ptypes::kBoolean;
}

std::uint8_t tableCellSize(std::uint16_t type) {
    // Fixed values sit in the row; everything else is 4 bytes of HNID.
    const std::size_t width = fixedTypeWidth(type);
    return static_cast<std::uint8_t>(width == 0 ? 4 : width);
}

std::vector<Bytes> buildPropertyContext(const PropertyList& props, SubnodeSink& subnodes) {
    std::vector<std::size_t> order(props.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return props[a].id < props[b].id; });

    HeapBuilder heap(HeapClient::PropertyContext, subnodes.ndb().layout().hidBlockShift);
    const std::uint32_t bthPlaceholder =
        heap.allocate(Bytes(ltp::kBthHeaderSize, 0));  // the BTH header comes first
    Bytes records;
    records.reserve(order.size() * ltp::kPcRecordSize);
    std::size_t count = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const Property& p = props[order[k]];
        if (k > 0 && props[order[k - 1]].id == p.id) continue;
        std::uint32_t hnid = 0;
        if (isInlineType(p.type)) {
            for (std::size_t i = 0; i < std::min<std::size_t>(4, p.value.size()); ++i)
                hnid |= static_cast<std::uint32_t>(p.value[i]) << (8 * i);
            if (p.type == ptypes::kInt16) hnid &= 0xFFFF;
            if (p.type == ptypes::kBoolean) hnid &= 0xFF;
        } else if (p.value.empty()) {
            hnid = 0;
        } else {
            hnid = heap.allocate(p.value);  // 0 when too large for the heap
            if (hnid == 0) hnid = subnodes.addStream(p.value);
        }
        std::uint8_t rec[ltp::kPcRecordSize];
        store16(rec, p.id);
        store16(rec + 2, p.type);
        store32(rec + 4, hnid);
        records.insert(records.end(), std::begin(rec), std::end(rec));
        ++count;
    }
    // The BTH proper; its header then takes the place reserved for it.
    heap.setUserRoot(writeBth(heap, ltp::kPcKeySize, ltp::kPcRecordSize - ltp::kPcKeySize, records,
                              count, bthPlaceholder));
    return heap.finish();
}

}  // namespace brevik::pst
