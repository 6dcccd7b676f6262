#include "views/item_list_pane.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "app/opened_item.h"
#include "app/temp_files.h"
#include "platform/prompter.h"
#include "views/locale_dates.h"

namespace brevik::views {

namespace {

using app::kNoItem;
constexpr int kCmdSaveAs = app::cmd::kSaveAs;
constexpr int kCmdOpenInOutlook = 32815;
constexpr int kCmdOpenInOutlookExpress = 33784;
constexpr int kCmdViewSource = 33783;

// Column widths; the text columns are wider than the classic list's so that names and subjects
// are readable at first sight.
int columnWidth(LogicalColumn c, ListLayout layout) {
    switch (c) {
        case LogicalColumn::Deleted:
        case LogicalColumn::Attachment:
            return 25;
        case LogicalColumn::From:
        case LogicalColumn::To:
            return 150;
        case LogicalColumn::Subject:
            return layout == ListLayout::Mail ? 280 : 300;
        case LogicalColumn::Date:
            // As wide as the locale writes a late date and time.
            return QFontMetrics(QFont()).horizontalAdvance(localeDateTime(133800000000000000ull)) +
                   24;
        case LogicalColumn::Number:
            return 80;
        case LogicalColumn::Location:
            return 180;
        case LogicalColumn::Start:
        case LogicalColumn::End:
        case LogicalColumn::Due:
            return 135;
        default:
            break;
    }
    return 100;
}

// The header draws Qt::AscendingOrder as a downward triangle; ascending rows get the upward
// one, as the classic list draws them, before and after any click.
Qt::SortOrder indicatorOrder(bool ascending) {
    return ascending ? Qt::DescendingOrder : Qt::AscendingOrder;
}

}  // namespace

class ItemListView final : public QTreeView {
  public:
    ItemListView(ItemListPane* pane, QWidget* parent) : QTreeView(parent), pane_(pane) {}

  protected:
    void contextMenuEvent(QContextMenuEvent* e) override {
        pane_->showContextMenu(e->globalPos(), indexAt(e->pos()));
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        QTreeView::mouseDoubleClickEvent(e);
        if (indexAt(e->position().toPoint()).isValid() && !pane_->state_.busy)
            pane_->openSelectedItem();
    }
    void keyPressEvent(QKeyEvent* e) override {
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && currentIndex().isValid()) {
            if (!pane_->state_.busy) pane_->openSelectedItem();
            return;
        }
        QTreeView::keyPressEvent(e);
    }

  private:
    ItemListPane* pane_;
};

ItemListPane::ItemListPane(app::AppState& state, QWidget* parent)
    : QWidget(parent),
      state_(state),
      opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(tr("Filter by From, To or Subject"));
    filter_->setClearButtonEnabled(true);
    filter_->setAccessibleName(tr("Filter the items"));
    view_ = new ItemListView(this, this);
    view_->setModel(&model_);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setAlternatingRowColors(true);
    view_->setIconSize(QSize(16, 16));
    view_->setAccessibleName(tr("Items of the selected folder"));
    QHeaderView* header = view_->header();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(22);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header, &QHeaderView::sectionClicked, this, &ItemListPane::sortByColumn);
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onCurrentChanged(current); });
    connect(filter_, &QLineEdit::textChanged, this, &ItemListPane::onFilterEdited);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(filter_);
    layout->addWidget(view_, 1);
    setFocusProxy(view_);
    applyColumnWidths();
}

QTreeView* ItemListPane::view() const {
    return view_;
}

void ItemListPane::applyColumnWidths() {
    const ColumnMap& map = model_.columns();
    for (int c = 0; c < kLogicalColumns; ++c) {
        const int at = map.column[static_cast<std::size_t>(c)];
        if (at < 0) continue;
        view_->header()->resizeSection(at,
                                       columnWidth(static_cast<LogicalColumn>(c), model_.layout()));
        // The subject takes what the others leave, so that all columns fit the pane.
        const bool mark = c <= static_cast<int>(LogicalColumn::Attachment);
        const bool subject = c == static_cast<int>(LogicalColumn::Subject);
        view_->header()->setSectionResizeMode(at, mark      ? QHeaderView::Fixed
                                                  : subject ? QHeaderView::Stretch
                                                            : QHeaderView::Interactive);
    }
    shownLayout_ = model_.layout();
    widthsSet_ = true;
}

void ItemListPane::clear() {
    model_.clear();
}

void ItemListPane::fillItemList() {
    RecoveredBase* b = state_.selectedBase < app::kNoBase ? state_.selected() : nullptr;
    const QSignalBlocker quiet(filter_);
    filter_->clear();
    if (!b) {
        model_.clear();
        return;
    }
    state_.viewOf(*b).currentItem = kNoItem;
    // Each layout keeps its own columns and sort: the header is put aside before the columns
    // change under it.
    const ListLayout before = shownLayout_;
    const QByteArray beforeState = view_->header()->saveState();
    model_.fill(b->openMode ? b : nullptr, state_.viewOf(*b).currentFolderId);
    filter_->setPlaceholderText(model_.layout() == ListLayout::Contacts ? tr("Filter by name")
                                : model_.layout() == ListLayout::Notes
                                    ? tr("Filter by title")
                                    : tr("Filter by From, To or Subject"));
    if (!widthsSet_ || model_.layout() != before) {
        if (widthsSet_) columnStates_[before] = beforeState;
        applyColumnWidths();
        const auto kept = columnStates_.find(model_.layout());
        if (kept != columnStates_.end()) view_->header()->restoreState(kept->second);
    }
    // The sort the user chose last for this layout, else the rows' own (ascending) order.
    QHeaderView* header = view_->header();
    const int sorted = header->sortIndicatorSection();
    const bool up = header->sortIndicatorOrder() == indicatorOrder(true);
    if (sorted >= 0 && sorted < model_.columnCount() && (sorted != model_.arrowColumn() || !up))
        model_.sortBy(sorted, up);
    showSortArrow();
    selectRow(0);
}

std::map<ListLayout, QByteArray> ItemListPane::columnStates() const {
    std::map<ListLayout, QByteArray> states = columnStates_;
    if (widthsSet_) states[shownLayout_] = view_->header()->saveState();
    return states;
}

void ItemListPane::selectRow(int row) {
    if (row < 0 || row >= model_.rowCount()) return;
    const QModelIndex at = model_.index(row, 0);
    view_->selectionModel()->setCurrentIndex(
        at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(at);
}

bool ItemListPane::selectItem(std::uint32_t item) {
    if (model_.rowOf(item) < 0 && !filter_->text().isEmpty()) filter_->clear();
    const int row = model_.rowOf(item);
    if (row < 0) return false;
    selectRow(row);
    view_->setFocus();
    return true;
}

void ItemListPane::focusFilter() {
    filter_->setFocus();
    filter_->selectAll();
}

void ItemListPane::onCurrentChanged(const QModelIndex& current) {
    RecoveredBase* b = state_.selected();
    if (!b || state_.selectedBase < 0 ||
        static_cast<std::size_t>(state_.selectedBase) >= state_.baseCount() || !current.isValid())
        return;
    const std::uint32_t r = model_.itemAt(current.row());
    if (r == state_.viewOf(*b).currentItem || r >= b->itemCount) return;
    state_.viewOf(*b).currentItem = r;
    Q_EMIT currentItemChanged(r);
}

void ItemListPane::onFilterEdited(const QString& text) {
    RecoveredBase* b = state_.selected();
    const std::uint32_t current = b ? state_.viewOf(*b).currentItem : kNoItem;
    model_.setFilterText(text);
    const int row = model_.rowOf(current);
    if (row >= 0) {
        selectRow(row);
    } else if (model_.rowCount() > 0) {
        selectRow(0);
    } else if (b && current != kNoItem) {
        state_.viewOf(*b).currentItem = kNoItem;
        Q_EMIT currentItemChanged(kNoItem);
    }
}

void ItemListPane::sortByColumn(int column) {
    model_.sortByColumn(column);
    showSortArrow();
    if (view_->currentIndex().isValid()) view_->scrollTo(view_->currentIndex());
}

void ItemListPane::showSortArrow() {
    view_->header()->setSortIndicator(model_.arrowColumn(), indicatorOrder(model_.ascending()));
}

std::vector<std::uint32_t> ItemListPane::selectedItems() const {
    std::vector<int> rows;
    for (const QModelIndex& i : view_->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::uint32_t> items;
    items.reserve(rows.size());
    for (int r : rows)
        items.push_back(model_.itemAt(r));
    return items;
}

QString ItemListPane::openSelectedItem() {
    RecoveredBase* b = state_.selected();
    if (!b || state_.busy || state_.viewOf(*b).currentItem >= b->itemCount) return {};
    // Opened items live in their own folder until the program ends, so the mail program may
    // take its time to read them: preview cleaning and save clean-up leave folders alone.
    const std::string folder = state_.tempFolder + "/" + app::kOpenedFolder;
    const QString path =
        QString::fromStdString(app::writeOpenedItem(*b, state_.viewOf(*b).currentItem, folder));
    if (path.isEmpty()) {
        platform::Prompter::current().warn(
            this, tr("Could not write the item into %1.").arg(QString::fromStdString(folder)));
        return {};
    }
    if (!opener_(QUrl::fromLocalFile(path)))
        platform::Prompter::current().warn(
            this, tr("No program is set up to open e-mail files (.eml). The item was written to "
                     "%1.")
                      .arg(path));
    return path;
}

QDialog* ItemListPane::viewSource() {
    RecoveredBase* b = state_.selected();
    if (!b || state_.busy || state_.viewOf(*b).currentItem >= b->itemCount) return nullptr;
    const ItemSummary& s = b->itemSummaries[state_.viewOf(*b).currentItem];
    auto* dialog = new QDialog(window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Source - %1").arg(QString::fromStdString(s.subjectText)));
    auto* text = new QPlainTextEdit(dialog);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setPlainText(
        QString::fromStdString(app::itemSourceHeaders(*b, state_.viewOf(*b).currentItem)));
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
    dialog->resize(640, 420);
    dialog->show();
    return dialog;
}

QMenu* ItemListPane::buildContextMenu() {
    const RecoveredBase* b = state_.selected();
    if (state_.selectedBase >= app::kNoBase || !b || b->itemCount == 0 ||
        state_.viewOf(*b).currentItem >= b->itemCount)
        return nullptr;
    const std::size_t selected = view_->selectionModel()->selectedRows().size();
    if (selected == 0) return nullptr;
    auto* menu = new QMenu(this);
    // Save As is the window's own command, with the state the window gives it.
    QAction* save = nullptr;
    for (QAction* a : window()->actions())
        if (a->data().toInt() == kCmdSaveAs) save = a;
    if (save) {
        menu->addAction(save);
    } else {
        menu->addAction(tr("Save As..."))->setEnabled(false);
    }
    menu->addSeparator();
    for (auto [id, text] : {std::pair{kCmdOpenInOutlook, "Open in Outlook"},
                            std::pair{kCmdOpenInOutlookExpress, "Open in Outlook Express"}}) {
        QAction* open = menu->addAction(tr(text), this, [this] { openSelectedItem(); });
        open->setData(id);
        open->setEnabled(!state_.busy);
    }
    QAction* source = menu->addAction(tr("View Source"), this, [this] { viewSource(); });
    source->setData(kCmdViewSource);
    source->setEnabled(selected == 1 && !state_.busy);
    return menu;
}

void ItemListPane::showContextMenu(const QPoint& globalPos, const QModelIndex& at) {
    if (!at.isValid()) return;
    QMenu* menu = buildContextMenu();
    if (!menu) return;
    menu->exec(globalPos);
    delete menu;
}

}  // namespace brevik::views
