#include "views/item_list_model.h"

#include <algorithm>
#include <string_view>

#include "message/records.h"
#include "views/locale_dates.h"
#include "views/text_compare.h"

namespace brevik::views {
namespace {

// The text a column sorts by: subjects without their reply and forward prefixes.
QString sortText(const ItemSummary& s, LogicalColumn column) {
    switch (column) {
        case LogicalColumn::From:
            return QString::fromStdString(s.fromText);
        case LogicalColumn::To:
            return QString::fromStdString(s.toText);
        default:
            return subjectWithoutPrefixes(QString::fromStdString(s.subjectText));
    }
}

template <typename T>
int compareValues(T a, T b) {
    return a == b ? 0 : (a < b ? -1 : 1);
}

// Marked first: -1 when only a is marked.
int compareMarks(bool a, bool b) {
    return a == b ? 0 : (a ? -1 : 1);
}

const char* const kHeaders[kLogicalColumns] = {
    "",         "",      "From", "To",       "Subject", "Date",       "Number",
    "Location", "Start", "End",  "Due Date", "Status",  "% Complete", "Type"};

}  // namespace

ColumnMap ColumnMap::forLayout(ListLayout layout) {
    // Deleted, Attachment, From, To, Subject, Date, Number, Location, Start, End, Due, Status,
    // Percent, Type.
    switch (layout) {
        case ListLayout::Notes:
            return {{0, -1, -1, -1, 1, 2, 3, -1, -1, -1, -1, -1, -1, -1}};
        case ListLayout::Contacts:
            return {{0, 1, -1, -1, 2, 3, 4, -1, -1, -1, -1, -1, -1, -1}};
        case ListLayout::Calendar:
            return {{0, 1, -1, -1, 2, -1, 6, 3, 4, 5, -1, -1, -1, -1}};
        case ListLayout::Tasks:
            return {{0, 1, -1, -1, 2, -1, 6, -1, -1, -1, 3, 4, 5, -1}};
        case ListLayout::Journal:
            return {{0, 1, -1, -1, 3, -1, 5, -1, 4, -1, -1, -1, -1, 2}};
        case ListLayout::Mail:
            break;
    }
    return {{0, 1, 2, 3, 4, 5, 6, -1, -1, -1, -1, -1, -1, -1}};
}

int ColumnMap::count() const {
    return static_cast<int>(
        std::count_if(column.begin(), column.end(), [](int c) { return c >= 0; }));
}

LogicalColumn ColumnMap::logicalAt(int listColumn) const {
    for (int c = 0; c < kLogicalColumns; ++c)
        if (column[static_cast<std::size_t>(c)] == listColumn) return static_cast<LogicalColumn>(c);
    return LogicalColumn::Number;
}

ListLayout layoutForFolderKind(std::uint32_t folderKind) {
    if (folderKind == item_kind::kNote) return ListLayout::Notes;
    if (folderKind == item_kind::kContact) return ListLayout::Contacts;
    if (folderKind == item_kind::kAppointment) return ListLayout::Calendar;
    if (folderKind == item_kind::kTask) return ListLayout::Tasks;
    if (folderKind == item_kind::kJournal) return ListLayout::Journal;
    return ListLayout::Mail;
}

int compareRows(const ItemSummary& a, const ItemSummary& b, LogicalColumn column) {
    switch (column) {
        case LogicalColumn::From:
        case LogicalColumn::To:
        case LogicalColumn::Subject: {
            const int c = listCollator().compare(sortText(a, column), sortText(b, column));
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        case LogicalColumn::Deleted:
            return compareMarks(a.deletedMark != 0, b.deletedMark != 0);
        case LogicalColumn::Attachment:
            return compareMarks(a.attachmentCount != 0, b.attachmentCount != 0);
        case LogicalColumn::Date:
            return compareValues(a.sortTime, b.sortTime);
        case LogicalColumn::Number:
            return compareValues(static_cast<std::int32_t>(a.number),
                                 static_cast<std::int32_t>(b.number));
        default:
            break;  // the columns read from the file sort in the model
    }
    return 0;
}

ItemListModel::ItemListModel(QObject* parent)
    : QAbstractTableModel(parent),
      map_(ColumnMap::forLayout(ListLayout::Mail)),
      deletedIcon_(QStringLiteral(":/resources/icons/list-deleted.svg")),
      damagedIcon_(QStringLiteral(":/resources/icons/list-damaged.svg")),
      attachmentIcon_(QStringLiteral(":/resources/icons/list-attachment.svg")) {}

const ItemSummary* ItemListModel::summary(std::uint32_t item) const {
    // The base may have been reset under a stale list; never read past its rows.
    return base_ && item < base_->itemSummaries.size() ? &base_->itemSummaries[item] : nullptr;
}

const KindColumns* ItemListModel::kindColumns(std::uint32_t item) const {
    const auto it = kindColumns_.find(item);
    return it == kindColumns_.end() ? nullptr : &it->second;
}

void ItemListModel::clear() {
    beginResetModel();
    base_ = nullptr;
    kindColumns_.clear();
    sorted_.clear();
    shown_.clear();
    endResetModel();
}

void ItemListModel::fill(const RecoveredBase* base, std::uint32_t folderIndex) {
    beginResetModel();
    base_ = base;
    sorted_.clear();
    shown_.clear();
    if (base && base->openMode && folderIndex < base->folderEntries.size()) {
        const FolderEntry& f = base->folderEntries[folderIndex];
        const std::uint32_t kind = f.record ? f.record->kind : item_kind::kNone;
        layout_ = layoutForFolderKind(kind);
        map_ = ColumnMap::forLayout(layout_);
        const std::size_t end = std::min<std::size_t>(
            {f.endItem, base->itemSummaries.size(), base->messageEntries.size()});
        if (f.itemCount != 0 && f.firstItem < end) {
            sorted_.reserve(end - f.firstItem);
            for (std::size_t r = f.firstItem; r < end; ++r)
                if (!base->messageEntries[r].loadFailed && base->itemSummaries[r].hiddenCode == 0)
                    sorted_.push_back(static_cast<std::uint32_t>(r));
        }
    }
    kindColumns_.clear();
    if (base && (layout_ == ListLayout::Calendar || layout_ == ListLayout::Tasks ||
                 layout_ == ListLayout::Journal))
        // Reading items again goes through the base's read buffer; its tables stay as they are.
        kindColumns_ = readKindColumns(const_cast<RecoveredBase&>(*base), sorted_);
    filter_.clear();
    // Index order is ascending number order.
    ascending_ = true;
    sortColumn_ = LogicalColumn::Number;
    lastSorted_ = arrowColumn_ = map_.at(LogicalColumn::Number);
    applyFilter();
    endResetModel();
}

void ItemListModel::sortByColumn(int listColumn) {
    if (listColumn < 0 || listColumn >= map_.count()) return;
    sortBy(listColumn, listColumn == lastSorted_ ? !ascending_ : ascending_);
}

void ItemListModel::sortBy(int listColumn, bool ascending) {
    if (!base_ || !base_->openMode || base_->itemCount < 2) return;
    if (listColumn < 0 || listColumn >= map_.count()) return;
    ascending_ = ascending;
    lastSorted_ = listColumn;
    sortColumn_ = map_.logicalAt(listColumn);
    const bool mark =
        sortColumn_ == LogicalColumn::Deleted || sortColumn_ == LogicalColumn::Attachment;
    arrowColumn_ = mark ? -1 : listColumn;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> items;
    items.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before)
        items.push_back(itemAt(i.row()));
    sortRows();
    applyFilter();
    // Where each item went, found once rather than by a search per index.
    std::vector<int> rowByItem(base_->itemSummaries.size(), -1);
    for (std::size_t row = 0; row < shown_.size(); ++row)
        rowByItem[shown_[row]] = static_cast<int>(row);
    QModelIndexList after;
    after.reserve(before.size());
    for (std::size_t k = 0; k < items.size(); ++k) {
        const int row = rowByItem[items[k]];
        after.push_back(row < 0 ? QModelIndex() : index(row, before[static_cast<int>(k)].column()));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void ItemListModel::sortRows() {
    // The keys are taken out of the rows once: comparing the rows themselves would visit a
    // summary (and fold its text) for every one of the n log n comparisons. Each key orders as
    // compareRows does; equal keys stay in index (number) order whichever way the list goes.
    const auto& rows = base_->itemSummaries;
    const bool up = ascending_;
    auto sortBy = [&](auto& keyed) {
        std::sort(keyed.begin(), keyed.end(), [up](const auto& a, const auto& b) {
            if (a.first != b.first) return up ? a.first < b.first : b.first < a.first;
            return a.second < b.second;
        });
        for (std::size_t k = 0; k < keyed.size(); ++k)
            sorted_[k] = keyed[k].second;
    };
    const LogicalColumn column = sortColumn_;
    static const KindColumns kNone;
    auto kindOf = [&](std::uint32_t r) -> const KindColumns& {
        const KindColumns* k = kindColumns(r);
        return k ? *k : kNone;
    };
    if (column == LogicalColumn::From || column == LogicalColumn::To ||
        column == LogicalColumn::Subject || column == LogicalColumn::Location ||
        column == LogicalColumn::Status || column == LogicalColumn::Type) {
        // Collation keys: the locale's order, made once per row.
        const QCollator collator = listCollator();
        std::vector<std::pair<QCollatorSortKey, std::uint32_t>> keyed;
        keyed.reserve(sorted_.size());
        for (std::uint32_t r : sorted_) {
            const std::string* kindText = column == LogicalColumn::Location ? &kindOf(r).location
                                          : column == LogicalColumn::Status ? &kindOf(r).status
                                          : column == LogicalColumn::Type   ? &kindOf(r).type
                                                                            : nullptr;
            keyed.emplace_back(collator.sortKey(kindText ? QString::fromStdString(*kindText)
                                                         : sortText(rows[r], column)),
                               r);
        }
        std::sort(keyed.begin(), keyed.end(), [up](const auto& a, const auto& b) {
            const int c = a.first.compare(b.first);
            if (c != 0) return up ? c < 0 : c > 0;
            return a.second < b.second;
        });
        for (std::size_t k = 0; k < keyed.size(); ++k)
            sorted_[k] = keyed[k].second;
        return;
    }
    std::vector<std::pair<std::int64_t, std::uint32_t>> keyed;
    keyed.reserve(sorted_.size());
    for (std::uint32_t r : sorted_) {
        const ItemSummary& s = rows[r];
        std::int64_t key = 0;
        switch (column) {
            case LogicalColumn::Deleted:
                key = s.deletedMark ? 0 : 1;  // marked rows first
                break;
            case LogicalColumn::Attachment:
                key = s.attachmentCount ? 0 : 1;
                break;
            case LogicalColumn::Date:
                // Unsigned times, kept in order inside a signed key.
                key = static_cast<std::int64_t>(s.sortTime ^ (std::uint64_t{1} << 63));
                break;
            case LogicalColumn::Start:
                key = static_cast<std::int64_t>(kindOf(r).startKey ^ (std::uint64_t{1} << 63));
                break;
            case LogicalColumn::End:
                key = static_cast<std::int64_t>(kindOf(r).endKey ^ (std::uint64_t{1} << 63));
                break;
            case LogicalColumn::Due:
                key = static_cast<std::int64_t>(kindOf(r).dueKey ^ (std::uint64_t{1} << 63));
                break;
            case LogicalColumn::Percent:
                key = kindOf(r).percentKey;
                break;
            default:
                key = static_cast<std::int32_t>(s.number);
                break;
        }
        keyed.emplace_back(key, r);
    }
    sortBy(keyed);
}

void ItemListModel::setFilterText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == filter_) return;
    beginResetModel();
    filter_ = trimmed;
    applyFilter();
    endResetModel();
}

void ItemListModel::applyFilter() {
    if (filter_.isEmpty() || !base_) {
        shown_ = sorted_;
        return;
    }
    shown_.clear();
    // Without regard to case or accents: "zurich" finds "Zürich".
    const std::string needle = foldForSearch(filter_.toStdString());
    const auto& rows = base_->itemSummaries;
    for (std::uint32_t r : sorted_) {
        const ItemSummary& s = rows[r];
        if (containsFolded(foldForSearch(s.fromText), needle) ||
            containsFolded(foldForSearch(s.toText), needle) ||
            containsFolded(foldForSearch(s.subjectText), needle))
            shown_.push_back(r);
    }
}

const DamagedItem* ItemListModel::damageOf(std::uint32_t item) const {
    return base_ ? findDamage(base_->damagedItems, item) : nullptr;
}

int ItemListModel::rowOf(std::uint32_t item) const {
    const auto it = std::find(shown_.begin(), shown_.end(), item);
    return it == shown_.end() ? -1 : static_cast<int>(it - shown_.begin());
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : map_.count();
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const std::uint32_t item = itemAt(index.row());
    if (role == kItemIndexRole) return item;
    const ItemSummary* s = summary(item);
    if (!s) return {};
    const LogicalColumn column = map_.logicalAt(index.column());
    switch (role) {
        case Qt::DisplayRole:
            switch (column) {
                case LogicalColumn::From:
                    return QString::fromStdString(s->fromText);
                case LogicalColumn::To:
                    return QString::fromStdString(s->toText);
                case LogicalColumn::Subject:
                    return QString::fromStdString(s->subjectText);
                case LogicalColumn::Date:
                    return localeDateTime(s->utcTime);
                case LogicalColumn::Number:
                    return QString::number(static_cast<std::int32_t>(s->number));
                default:
                    break;
            }
            if (const KindColumns* k = kindColumns(item)) {
                switch (column) {
                    case LogicalColumn::Location:
                        return QString::fromStdString(k->location);
                    case LogicalColumn::Start:
                        return QString::fromStdString(k->start);
                    case LogicalColumn::End:
                        return QString::fromStdString(k->end);
                    case LogicalColumn::Due:
                        return QString::fromStdString(k->due);
                    case LogicalColumn::Status:
                        return QString::fromStdString(k->status);
                    case LogicalColumn::Percent:
                        return QString::fromStdString(k->percent);
                    case LogicalColumn::Type:
                        return QString::fromStdString(k->type);
                    default:
                        break;
                }
            }
            return {};
        case Qt::DecorationRole:
            if (column == LogicalColumn::Deleted && s->deletedMark) return deletedIcon_;
            if (column == LogicalColumn::Attachment && s->attachmentCount) return attachmentIcon_;
            if (column == LogicalColumn::Subject && damageOf(item)) return damagedIcon_;
            return {};
        case Qt::ToolTipRole:
            if (column == LogicalColumn::Subject)
                if (const DamagedItem* d = damageOf(item))
                    return tr("Damaged: %1. The rest of the item was recovered.")
                        .arg(QString::fromStdString(partNames(d->parts)));
            if (column == LogicalColumn::Deleted && s->deletedMark) return tr("Deleted item");
            if (column == LogicalColumn::Attachment && s->attachmentCount)
                return tr("%n attachment(s)", nullptr, s->attachmentCount);
            return {};
        default:
            return {};
    }
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= map_.count()) return {};
    const LogicalColumn column = map_.logicalAt(section);
    switch (role) {
        case Qt::DisplayRole:
            if (column == LogicalColumn::Subject) {
                if (layout_ == ListLayout::Notes) return tr("Title");
                if (layout_ == ListLayout::Contacts) return tr("Full Name");
            }
            return tr(kHeaders[static_cast<int>(column)]);
        case Qt::DecorationRole:
            if (column == LogicalColumn::Deleted) return deletedIcon_;
            if (column == LogicalColumn::Attachment) return attachmentIcon_;
            return {};
        case Qt::ToolTipRole:
            if (column == LogicalColumn::Deleted) return tr("Deleted");
            if (column == LogicalColumn::Attachment) return tr("Attachments");
            return {};
        default:
            return {};
    }
}

}  // namespace brevik::views
