// A table context ([MS-PST] TC): column descriptors, a row index BTH and a row matrix, kept in
// the heap while small and in a subnode when large. Rows are kept compactly until built.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "message/property_tags.h"
#include "writers/pst/store_model.h"
#include "writers/pst/subnode_sink.h"

namespace brevik::pst {

inline constexpr std::uint32_t kRowIdTag = std::uint32_t{pid::kLtpRowId} << 16 | ptype::kInt32;
inline constexpr std::uint32_t kRowVersionTag =
    std::uint32_t{pid::kLtpRowVer} << 16 | ptype::kInt32;
inline constexpr std::size_t kMaxTableColumns = 255;

class TableBuilder {
  public:
    // `tags` are property tags (id << 16 | type); the row id column is added when missing.
    explicit TableBuilder(std::vector<std::uint32_t> tags);

    // Adds a row; cells whose id and type match a column are kept. Returns how many cells had
    // no column.
    std::size_t addRow(std::uint32_t rowId, const PropertyList& cells);
    std::size_t rowCount() const { return rowIds_.size(); }
    std::size_t rowSize() const { return rowSize_; }

    // The node data of the table; large cells and a large row matrix go to `subnodes`.
    std::vector<Bytes> build(SubnodeSink& subnodes);

  private:
    struct Column {
        std::uint32_t tag;
        std::uint16_t offset;
        std::uint8_t size;
        std::uint8_t bit;
    };
    struct VarCell {
        std::uint64_t cellAt;  // position of the cell in rows_
        std::uint64_t poolAt;
        std::uint32_t length;
    };

    std::vector<Column> columns_;  // sorted by tag
    std::unordered_map<std::uint32_t, std::size_t> byTag_;
    std::uint16_t ends_[4] = {};  // ends of the 8/4-byte, 2-byte and 1-byte groups and the bitmap
    std::size_t rowSize_ = 0;
    Bytes rows_;
    Bytes pool_;
    std::vector<VarCell> varCells_;
    std::vector<std::uint32_t> rowIds_;
};

}  // namespace brevik::pst
