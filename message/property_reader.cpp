#include "message/property_reader.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <unordered_map>

#include "engine/ltp_format.h"
#include "engine/ndb_format.h"
#include "engine/permute.h"
#include "engine/visited_set.h"
#include "message/heap_on_node.h"
#include "message/node_data.h"
#include "message/text.h"

namespace brevik {
namespace {

constexpr int kMaxBthLevels = 8;

// Inline in a PC record or a TC cell; everything else is named by an HNID.
bool isInlineType(std::uint16_t type) {
    return type == ptype::kInt16 || type == ptype::kInt32 || type == ptype::kFloat ||
           type == ptype::kError || type == ptype::kBoolean;
}

bool keptInline(std::uint16_t type, ReadMode mode) {
    if (type == ptype::kInt16 || type == ptype::kInt32 || type == ptype::kBoolean) return true;
    return mode == ReadMode::Complete && isInlineType(type);
}

// The heap and subnode types the records use.
bool keptByHnid(std::uint16_t type, ReadMode mode) {
    switch (type) {
        case ptype::kDouble:
        case ptype::kObject:
        case ptype::kInt64:
        case ptype::kString8:
        case ptype::kUnicode:
        case ptype::kTime:
        case ptype::kGuid:
        case ptype::kBinary:
        case ptype::kMultiInt32:
        case ptype::kMultiInt64:
        case ptype::kMultiString8:
        case ptype::kMultiUnicode:
        case ptype::kMultiBinary:
            return true;
        default:
            return mode == ReadMode::Complete && !isInlineType(type);
    }
}

// Types whose empty value may be stored as HNID 0.
bool isVariableType(std::uint16_t type) {
    return type == ptype::kString8 || type == ptype::kUnicode || type == ptype::kBinary ||
           type == ptype::kObject || (type & ptype::kMultiValued) != 0;
}

Bytes le32(std::uint32_t v) {
    Bytes b(4);
    store32(b.data(), v);
    return b;
}

struct Reader {
    MessageBase& base;
    const HeapImage& heap;
    const std::vector<SubnodeEntry>& subnodes;
    bool loadSubnodeValues;
    ReadMode mode;
    PropertyFilter keep;
    // Node id -> first entry, built on the first lookup of a long list: most nodes name no
    // subnode at all, and an item reads one node per attachment over the same list.
    std::unordered_map<std::uint32_t, std::size_t> firstSubnode;
    bool indexed = false;

    Reader(MessageBase& b, const HeapImage& h, const std::vector<SubnodeEntry>& s, bool load,
           ReadMode m, PropertyFilter k)
        : base(b), heap(h), subnodes(s), loadSubnodeValues(load), mode(m), keep(k) {}

    const SubnodeEntry* subnode(std::uint32_t nid) {
        constexpr std::size_t kScanLimit = 32;
        if (subnodes.size() <= kScanLimit) {
            for (const SubnodeEntry& e : subnodes)
                if (e.nodeId == nid) return &e;
            return nullptr;
        }
        if (!indexed) {
            firstSubnode.reserve(subnodes.size());
            for (std::size_t i = 0; i < subnodes.size(); ++i)
                firstSubnode.emplace(subnodes[i].nodeId, i);
            indexed = true;
        }
        auto it = firstSubnode.find(nid);
        return it == firstSubnode.end() ? nullptr : &subnodes[it->second];
    }

    void fromSubnode(PropertyValue& out, const SubnodeEntry* entry) {
        out.locator.position = entry ? entry->dataIndex : kNoBlock;
        out.locator.length = 0;
        if (loadSubnodeValues)
            out.data = entry ? readSubnodeData(base, entry->dataIndex) : Bytes{};
        else
            out.data.reset();
    }

    // Resolves an HNID into `out`; false when the value is not stored.
    bool convertHnid(PropertyValue& out, std::uint32_t hnid) {
        if (hnid == 0) {
            if (mode != ReadMode::Complete || !isVariableType(out.type)) return false;
            out.data = Bytes{};
            out.locator.position = kNoBlock;
            return true;
        }
        if ((hnid & ndb::kNidTypeMask) != 0) {
            fromSubnode(out, subnode(hnid));
            return true;
        }
        const auto alloc = findAllocation(heap, hnid);
        if (!alloc) return false;
        out.data = Bytes(heap.bytes.begin() + static_cast<std::ptrdiff_t>(alloc->start),
                         heap.bytes.begin() + static_cast<std::ptrdiff_t>(alloc->end));
        const std::uint32_t size = static_cast<std::uint32_t>(alloc->size());
        // Point at the value's own bytes in the file, whichever heap block holds it. An empty
        // value gets no position: length 0 would otherwise read as a subnode locator.
        out.locator.position =
            size == 0 ? kNoBlock
                      : static_cast<std::int64_t>(heap.blockFileOffsets[alloc->block] +
                                                  (alloc->start - heap.blockStarts[alloc->block]));
        out.locator.length = size;
        if (out.type == ptype::kObject && size >= 4) {
            if (const SubnodeEntry* entry = subnode(load32(out.data->data())))
                fromSubnode(out, entry);
        }
        return true;
    }

    // One property of a PC record or TC cell; false when it is not stored.
    bool convertProperty(PropertyValue& out, std::uint16_t id, std::uint16_t type,
                         std::uint32_t value) {
        out = PropertyValue{};
        out.id = id;
        out.type = type;
        out.locator.type = type;
        if (keptInline(type, mode)) {
            out.data = le32(value);
            out.locator.position = value;
            return true;
        }
        if (isInlineType(type) || !keptByHnid(type, mode)) return false;
        return convertHnid(out, value);
    }
};

// Collects the leaf records of the BTH whose header is at `headerHid`, in key order, following
// index levels. False when the header or an allocation cannot be found.
bool readBthLeaves(const HeapImage& heap, std::uint32_t headerHid, std::uint8_t keySize,
                   std::vector<Allocation>& leaves, std::uint32_t* rootBlock) {
    const auto header = findAllocation(heap, headerHid);
    if (!header || header->size() < ltp::kBthHeaderSize) return false;
    const std::uint8_t* h = heap.bytes.data() + header->start;
    if (h[0] != ltp::kClientBth || h[1] != keySize) return false;
    const int levels = h[3];
    const std::uint32_t root = load32(h + 4);
    if (root == 0) return true;  // an empty tree
    if (levels > kMaxBthLevels) return false;

    VisitedSet<std::uint32_t> visited;
    const std::size_t indexRecord = keySize + 4u;
    // Depth-first in key order; bounded by `levels` and by visiting each HID once.
    struct Pending {
        std::uint32_t hid;
        int level;
    };
    std::vector<Pending> stack{{root, levels}};
    bool first = true;
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        if (!visited.insert(p.hid)) continue;
        const auto alloc = findAllocation(heap, p.hid);
        if (!alloc) {
            if (first) return false;
            continue;  // a lost index branch drops its records only
        }
        if (first && rootBlock) *rootBlock = alloc->block;
        first = false;
        if (p.level == 0) {
            leaves.push_back(*alloc);
            continue;
        }
        const std::size_t n = alloc->size() / indexRecord;
        for (std::size_t i = n; i-- > 0;) {
            const std::uint8_t* r = heap.bytes.data() + alloc->start + i * indexRecord;
            stack.push_back({load32(r + keySize), p.level - 1});
        }
    }
    return true;
}

int readPropertyContext(Reader& reader, PropertyList& rows, std::uint32_t userRoot) {
    std::vector<Allocation> leaves;
    if (!readBthLeaves(reader.heap, userRoot, ltp::kPcKeySize, leaves, nullptr)) return -1;
    std::size_t records = 0;
    for (const auto& a : leaves)
        records += a.size() / ltp::kPcRecordSize;
    PropertyRow row(records);
    std::size_t slot = 0;
    for (const auto& a : leaves) {
        for (std::size_t i = 0; i < a.size() / ltp::kPcRecordSize; ++i) {
            const std::uint8_t* r = reader.heap.bytes.data() + a.start + i * ltp::kPcRecordSize;
            if (reader.keep && !reader.keep(load16(r))) continue;
            if (reader.convertProperty(row[slot], load16(r), load16(r + 2), load32(r + 4)))
                ++slot;
            else
                row[slot] = PropertyValue{};
        }
    }
    rows.push_back(std::move(row));
    return 0;
}

struct TcColumn {
    std::uint16_t type;
    std::uint16_t id;
    std::uint16_t offset;
    std::uint8_t width;
    std::uint8_t bit;
};

std::uint32_t cellValue(const std::uint8_t* cell, std::uint8_t width) {
    switch (width) {
        case 4:
            return load32(cell);
        case 2:
            return load16(cell);
        case 1:
            return cell[0];
        default:
            return 0;
    }
}

// One TC cell into `out`; false when it is not stored.
bool convertCell(Reader& reader, PropertyValue& out, const TcColumn& col, ByteView row,
                 std::size_t cebOffset, std::optional<std::uint64_t> rowFileOffset) {
    const bool fitsRow = fits(row, col.offset, col.width);
    if (reader.mode != ReadMode::Complete) {
        const std::uint32_t v = fitsRow ? cellValue(row.data() + col.offset, col.width) : 0;
        return reader.convertProperty(out, col.id, col.type, v);
    }
    // Complete: the cell existence bitmap says whether the cell holds a value.
    const std::size_t cebByte = cebOffset + col.bit / 8u;
    if (cebByte < row.size() && (row[cebByte] & (0x80u >> (col.bit % 8u))) == 0) return false;
    if (!fitsRow || col.width == 0) return false;
    const std::uint8_t* cell = row.data() + col.offset;
    if (col.width == 4 || ((col.width == 1 || col.width == 2) && isInlineType(col.type)))
        return reader.convertProperty(out, col.id, col.type, cellValue(cell, col.width));
    out = PropertyValue{};
    out.id = col.id;
    out.type = col.type;
    out.locator.type = col.type;
    out.data = Bytes(cell, cell + col.width);
    if (rowFileOffset) {
        out.locator.position = static_cast<std::int64_t>(*rowFileOffset + col.offset);
        out.locator.length = col.width;
    }
    return true;
}

// What a table context's info and row index say: its columns, row layout and row count.
struct TableLayout {
    std::vector<TcColumn> columns;
    std::size_t cebOffset = 0;  // TCI_1b: the cell existence bitmap follows the 1-byte cells
    std::size_t rowWidth = 0;   // TCI_bm
    std::uint32_t hnidRows = 0;
    std::size_t indexSize = 0;  // bytes of row index records
    std::size_t indexRows = 0;  // rows they name
    int indexBlock = 0;         // the heap block that holds the row index's root
};

// Reads the layout of the table context at `userRoot`: -1 when it is not one, else `indexBlock`.
int readTableLayout(Reader& reader, std::uint32_t userRoot, TableLayout& t) {
    const HeapImage& heap = reader.heap;
    const auto infoAlloc = findAllocation(heap, userRoot);
    if (!infoAlloc || infoAlloc->size() < ltp::kTcInfoSize) return -1;
    const std::uint8_t* info = heap.bytes.data() + infoAlloc->start;
    if (info[0] != ltp::kClientTableContext) return -1;
    t.cebOffset = load16(info + 6);
    t.rowWidth = load16(info + 8);
    const std::uint32_t hidRowIndex = load32(info + 10);
    t.hnidRows = load32(info + 14);

    const std::size_t columnRoom = (infoAlloc->size() - ltp::kTcInfoSize) / ltp::kTcColumnSize;
    const std::size_t columnCount = std::min<std::size_t>(info[1], columnRoom);
    t.columns.reserve(columnCount);
    for (std::size_t k = 0; k < columnCount; ++k) {
        const std::uint8_t* c = info + ltp::kTcInfoSize + k * ltp::kTcColumnSize;
        const std::uint32_t tag = load32(c);
        t.columns.push_back({static_cast<std::uint16_t>(tag), static_cast<std::uint16_t>(tag >> 16),
                             load16(c + 4), c[6], c[7]});
    }

    std::vector<Allocation> indexLeaves;
    std::uint32_t indexBlock = 0;
    if (!readBthLeaves(heap, hidRowIndex, ltp::kTcKeySize, indexLeaves, &indexBlock)) return -1;
    for (const auto& a : indexLeaves)
        t.indexSize += a.size();
    // Row index records are 8 bytes (Unicode) or 6 (ANSI); the matrix may hold fewer rows.
    t.indexRows = t.indexSize / (reader.base.isUnicode() ? 8 : 6);
    t.indexBlock = static_cast<int>(indexBlock);
    return t.indexBlock;
}

// Calls `visit(row, rowFileOffset)` for each row of the table's row matrix in order, as many as
// the row index names and the matrix holds. The matrix lies in the heap, or in a subnode whose
// data blocks each hold whole rows; those are read a block at a time, so a table of many rows
// costs no memory of its size. False when the matrix cannot be found.
template <class Visit>
bool forEachRow(Reader& reader, const TableLayout& t, Visit visit) {
    if (t.hnidRows == 0 || t.rowWidth == 0) return false;
    std::size_t rows = 0;
    const auto segment = [&](ByteView bytes, std::optional<std::uint64_t> fileOffset) {
        for (std::size_t at = 0; at + t.rowWidth <= bytes.size() && rows < t.indexRows;
             at += t.rowWidth, ++rows) {
            std::optional<std::uint64_t> rowFile;
            if (fileOffset) rowFile = *fileOffset + at;
            visit(bytes.subspan(at, t.rowWidth), rowFile);
        }
    };
    if ((t.hnidRows & ndb::kNidTypeMask) == 0) {
        const HeapImage& heap = reader.heap;
        const auto alloc = findAllocation(heap, t.hnidRows);
        if (!alloc) return false;
        segment(ByteView(heap.bytes).subspan(alloc->start, alloc->size()),
                alloc->size() ? heap.fileOffsetOf(alloc->start) : std::nullopt);
        return true;
    }
    const SubnodeEntry* entry = reader.subnode(t.hnidRows);
    if (!entry) return false;
    visitNodeData(reader.base, entry->dataIndex,
                  [&](ByteView block, std::uint64_t fileOffset) { segment(block, fileOffset); });
    return true;
}

int readTableContext(Reader& reader, PropertyList& rows, std::uint32_t userRoot) {
    TableLayout t;
    if (readTableLayout(reader, userRoot, t) < 0) return -1;
    if (t.indexSize == 0) return t.indexBlock;  // an empty table
    if (reader.keep)
        std::erase_if(t.columns, [&](const TcColumn& c) { return !reader.keep(c.id); });
    constexpr std::size_t kReserveLimit = 1u << 16;  // a damaged index may name many more
    rows.reserve(std::min(t.indexRows, kReserveLimit));
    const bool matrixFound = forEachRow(reader, t, [&](ByteView row, auto rowFile) {
        PropertyRow out(t.columns.size());
        std::size_t slot = 0;
        for (const auto& col : t.columns) {
            if (convertCell(reader, out[slot], col, row, t.cebOffset, rowFile))
                ++slot;
            else
                out[slot] = PropertyValue{};
        }
        rows.push_back(std::move(out));
    });
    return matrixFound ? t.indexBlock : -1;
}

// The node's heap: a data tree when the block says so, else one decoded block; a block whose
// page-map offset does not fit is tried as a data tree too.
std::optional<HeapImage> readHeap(MessageBase& base, BlockIndex dataIndex) {
    if (dataIndex < 0 || static_cast<std::size_t>(dataIndex) >= base.blockTable.size())
        return std::nullopt;
    Bytes raw = readBlock(base, dataIndex, false);
    if (raw.empty()) return std::nullopt;
    NodeData data;
    const bool rawTree = looksLikeDataTree(raw);
    if ((base.blockTable[dataIndex].blockId & ndb::kInternalBlockBit) && rawTree) {
        data = expandDataTree(base, dataIndex);
    } else {
        base.decodeBlockBytes(raw.data(), raw.size(), base.blockTable[dataIndex].blockId);
        const bool pageMapFits = raw.size() >= 2 && load16(raw.data()) < raw.size();
        data = (!pageMapFits && rawTree) ? expandDataTree(base, dataIndex)
                                         : singleBlock(base, dataIndex, std::move(raw));
    }
    HeapImage heap = HeapImage::fromNodeData(std::move(data));
    heap.hidBlockShift = base.layout.hidBlockShift ? base.layout.hidBlockShift : 16;
    if (heap.blockCount() == 0 || heap.blockLengths[0] < ltp::kHeapHeaderSize) return std::nullopt;
    if (load16(heap.bytes.data()) >= heap.blockLengths[0]) return std::nullopt;
    if (heap.bytes[2] != ltp::kHeapSignature) return std::nullopt;
    return heap;
}

int readList(MessageBase& base, PropertyList& rows, BlockIndex dataIndex,
             const std::vector<SubnodeEntry>& subnodes, bool loadSubnodeValues, ReadMode mode,
             PropertyFilter keep) {
    const auto heap = readHeap(base, dataIndex);
    if (!heap) return -1;
    const std::uint8_t client = heap->bytes[3];
    const std::uint32_t userRoot = load32(heap->bytes.data() + 4);
    Reader reader(base, *heap, subnodes, loadSubnodeValues, mode, keep);
    if (client == ltp::kClientPropertyContext) return readPropertyContext(reader, rows, userRoot);
    if (client == ltp::kClientTableContext) return readTableContext(reader, rows, userRoot);
    return -1;
}

}  // namespace

int readPropertyList(MessageBase& base, PropertyList& rows, BlockIndex dataIndex,
                     const std::vector<SubnodeEntry>& subnodes, bool loadSubnodeValues,
                     ReadMode mode, PropertyFilter keep) {
    rows.clear();
    try {
        const int result = readList(base, rows, dataIndex, subnodes, loadSubnodeValues, mode, keep);
        if (result < 0) rows.clear();
        return result;
    } catch (const std::exception&) {
        rows.clear();
        return -1;
    }
}

int readTableRowIds(MessageBase& base, BlockIndex dataIndex,
                    const std::vector<SubnodeEntry>& subnodes, std::vector<std::uint32_t>& ids) {
    ids.clear();
    try {
        const auto heap = readHeap(base, dataIndex);
        if (!heap || heap->bytes[3] != ltp::kClientTableContext) return -1;
        Reader reader(base, *heap, subnodes, false, ReadMode::Records, nullptr);
        TableLayout t;
        if (readTableLayout(reader, load32(heap->bytes.data() + 4), t) < 0) return -1;
        if (t.indexSize == 0) return t.indexBlock;
        std::erase_if(t.columns, [](const TcColumn& c) { return c.id != pid::kLtpRowId; });
        const bool matrixFound = forEachRow(reader, t, [&](ByteView row, auto rowFile) {
            // The first row-id cell that holds a value names the row, when it has 4 bytes.
            std::uint32_t id = 0;
            for (const auto& col : t.columns) {
                if (keptInline(col.type, ReadMode::Records)) {
                    id = fits(row, col.offset, col.width)
                             ? cellValue(row.data() + col.offset, col.width)
                             : 0;
                    break;
                }
                PropertyValue v;
                if (convertCell(reader, v, col, row, t.cebOffset, rowFile) && v.data) {
                    if (v.data->size() >= 4) id = load32(v.data->data());
                    break;
                }
            }
            ids.push_back(id);
        });
        if (!matrixFound) ids.clear();
        return matrixFound ? t.indexBlock : -1;
    } catch (const std::exception&) {
        ids.clear();
        return -1;
    }
}

Bytes readSubnodeData(MessageBase& base, BlockIndex blockIndex) {
    return readNodeData(base, blockIndex).bytes;
}

Bytes readSubnodeByNid(MessageBase& base, std::uint32_t nid,
                       const std::vector<SubnodeEntry>& subnodes) {
    for (const auto& s : subnodes)
        if (s.nodeId == nid) return readSubnodeData(base, s.dataIndex);
    return {};
}

Bytes loadValue(MessageBase& base, const ValueLocator& locator, std::uint32_t padBytes,
                bool convertUnicode) {
    Bytes out;
    if (isInlineType(locator.type)) {
        // The locator holds the value itself.
        out = le32(static_cast<std::uint32_t>(locator.position));
    } else if (locator.length != 0) {
        if (locator.position <= 0) return {};
        out = readAtPosition(base, static_cast<std::uint64_t>(locator.position), locator.length);
        if (out.empty()) return {};
    } else {
        if (locator.position < 0 || locator.position > INT32_MAX) return {};
        out = readSubnodeData(base, static_cast<BlockIndex>(locator.position));
        if (out.empty()) return {};
    }
    out.resize(out.size() + padBytes, 0);
    if (convertUnicode && locator.type == ptype::kUnicode) wideToAnsiInPlace(out);
    return out;
}

}  // namespace brevik
