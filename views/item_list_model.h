// The item list's model: the rows of one folder of a recovered base. It holds item indexes
// only; every text is read from the base's summary rows when shown.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <cstdint>
#include <vector>

#include "message/item_summary.h"
#include "recovery/recovered_base.h"
#include "views/kind_columns.h"

namespace brevik::views {

// Column sets by folder kind: mail (and anything else), notes, contacts, calendar, tasks,
// journal.
enum class ListLayout : std::uint8_t {
    Mail = 1,
    Notes = 2,
    Contacts = 3,
    Calendar = 4,
    Tasks = 5,
    Journal = 6
};

// What a list column shows, whatever its position in the layout. Those after Number are read
// from the file when the folder is listed (KindColumns).
enum class LogicalColumn : std::uint8_t {
    Deleted,
    Attachment,
    From,
    To,
    Subject,
    Date,
    Number,
    Location,
    Start,
    End,
    Due,
    Status,
    Percent,
    Type
};
inline constexpr int kLogicalColumns = 14;

// For each logical column, the list column that shows it, or -1.
struct ColumnMap {
    std::array<int, kLogicalColumns> column;

    static ColumnMap forLayout(ListLayout layout);
    int at(LogicalColumn c) const { return column[static_cast<std::size_t>(c)]; }
    int count() const;
    // The logical column shown in list column `listColumn`.
    LogicalColumn logicalAt(int listColumn) const;
};

// The layout for a folder whose record has kind `folderKind`.
ListLayout layoutForFolderKind(std::uint32_t folderKind);

// -1, 0 or 1 as the list orders a before b by `column`, ascending; texts compare by the default
// locale's collation without regard to case (subjects without their "RE:" and "FW:" prefixes),
// marked rows come first in the mark columns, undated rows before dated ones.
int compareRows(const ItemSummary& a, const ItemSummary& b, LogicalColumn column);

class ItemListModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    // The item index of a row.
    static constexpr int kItemIndexRole = Qt::UserRole + 1;

    explicit ItemListModel(QObject* parent = nullptr);

    // Lists the folder's items in index order, leaving out the ones that failed to load and
    // hidden system items; the layout follows the folder's kind, the rows count as sorted
    // ascending by number and no filter applies. A null base or a folder out of range gives an
    // empty list.
    void fill(const RecoveredBase* base, std::uint32_t folderIndex);
    void clear();

    // A click on the header of `listColumn`: the same column again reverses the order, another
    // one sorts in the current direction. Does nothing for a base with fewer than two items.
    void sortByColumn(int listColumn);
    // Sorts by `listColumn` in the given direction, as if clicked until it went that way.
    void sortBy(int listColumn, bool ascending);
    // Narrows the rows to those whose From, To or subject text contains `text` (any case, any
    // accents).
    void setFilterText(const QString& text);
    QString filterText() const { return filter_; }

    ListLayout layout() const { return layout_; }
    const ColumnMap& columns() const { return map_; }
    bool ascending() const { return ascending_; }
    // The list column that shows the sort arrow; -1 when none does.
    int arrowColumn() const { return arrowColumn_; }
    const RecoveredBase* base() const { return base_; }

    std::uint32_t itemAt(int row) const { return shown_[static_cast<std::size_t>(row)]; }
    // The row that shows item `item`; -1 when it is not listed.
    int rowOf(std::uint32_t item) const;
    // The listed item indexes in list order.
    const std::vector<std::uint32_t>& items() const { return shown_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    const ItemSummary* summary(std::uint32_t item) const;
    const KindColumns* kindColumns(std::uint32_t item) const;
    const DamagedItem* damageOf(std::uint32_t item) const;
    void sortRows();
    void applyFilter();

    const RecoveredBase* base_ = nullptr;
    ListLayout layout_ = ListLayout::Mail;
    ColumnMap map_;
    std::vector<std::uint32_t> sorted_;  // every listed item, in sort order
    std::vector<std::uint32_t> shown_;   // those that pass the filter
    QString filter_;
    LogicalColumn sortColumn_ = LogicalColumn::Number;
    int lastSorted_ = -1;
    bool ascending_ = true;
    int arrowColumn_ = -1;
    std::unordered_map<std::uint32_t, KindColumns> kindColumns_;  // calendar, task, journal
    QIcon deletedIcon_;
    QIcon damagedIcon_;
    QIcon attachmentIcon_;
};

}  // namespace brevik::views
