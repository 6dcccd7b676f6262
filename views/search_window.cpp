#include "views/search_window.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

#include "message/item_access.h"
#include "message/records.h"
#include "recovery/folder_tree.h"
#include "views/locale_dates.h"
#include "views/text_compare.h"

namespace brevik::views {

namespace {

// Work per turn of the event loop: the window stays responsive and results show as they come.
constexpr qint64 kSliceMs = 15;
constexpr std::uint32_t kNoFolder = 0xFFFFFFFFu;

enum Column { kFile, kFolder, kFrom, kSubject, kDate, kColumns };
const char* const kHeaders[kColumns] = {"File", "Folder", "From", "Subject", "Date"};

// Folders whose items the list shows: calendars, journals and tasks are not listed.
bool listedFolderKind(std::uint32_t kind) {
    return kind != item_kind::kAppointment && kind != item_kind::kJournal &&
           kind != item_kind::kTask;
}

}  // namespace

SearchResultsModel::SearchResultsModel(const app::AppState& state, QObject* parent)
    : QAbstractTableModel(parent), state_(state) {}

void SearchResultsModel::clear() {
    beginResetModel();
    hits_.clear();
    endResetModel();
}

void SearchResultsModel::append(const std::vector<SearchHit>& hits) {
    if (hits.empty()) return;
    const int first = static_cast<int>(hits_.size());
    beginInsertRows({}, first, first + static_cast<int>(hits.size()) - 1);
    hits_.insert(hits_.end(), hits.begin(), hits.end());
    endInsertRows();
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(hits_.size());
}
int SearchResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const SearchHit& h = hit(index.row());
    // The base may have been reset or recovered anew since: show only what still fits.
    const RecoveredBase* b = state_.base(h.base);
    if (!b || !b->openMode || h.item >= b->itemSummaries.size()) return {};
    const ItemSummary& s = b->itemSummaries[h.item];
    switch (index.column()) {
        case kFile:
            return QString::fromStdString(b->fileName);
        case kFolder:
            return h.folder < b->folderEntries.size()
                       ? QString::fromStdString(std::string(folderName(*b, h.folder)))
                       : QString();
        case kFrom:
            return QString::fromStdString(s.fromText);
        case kSubject:
            return QString::fromStdString(s.subjectText);
        case kDate:
            return localeDateTime(s.utcTime);
        default:
            return {};
    }
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns)
        return {};
    return tr(kHeaders[section]);
}

SearchWindow::SearchWindow(app::AppState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), results_(state) {
    setWindowTitle(tr("Search All Files"));
    query_ = new QLineEdit(this);
    query_->setPlaceholderText(tr("Search sender, recipients and subject in every recovered file"));
    query_->setClearButtonEnabled(true);
    bodies_ = new QCheckBox(tr("Also search the message texts (slower)"), this);
    count_ = new QLabel(this);
    view_ = new QTreeView(this);
    view_->setModel(&results_);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setAlternatingRowColors(true);
    view_->header()->setStretchLastSection(false);
    view_->header()->setSectionResizeMode(kSubject, QHeaderView::Stretch);
    for (auto [column, width] : {std::pair{kFile, 130}, {kFolder, 120}, {kFrom, 160}, {kDate, 140}})
        view_->header()->resizeSection(column, width);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(query_);
    layout->addWidget(bodies_);
    layout->addWidget(view_, 1);
    layout->addWidget(count_);
    resize(860, 480);
    // A window of its own closes with the keys a dialog closes with.
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);

    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &SearchWindow::step);
    typing_.setSingleShot(true);
    typing_.setInterval(250);
    connect(&typing_, &QTimer::timeout, this, [this] { search(query_->text()); });
    connect(query_, &QLineEdit::textEdited, this, [this] { typing_.start(); });
    connect(query_, &QLineEdit::returnPressed, this, [this] { search(query_->text()); });
    // Down from the box goes to the results, Enter there opens one.
    auto* down =
        new QShortcut(QKeySequence(Qt::Key_Down), query_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(down, &QShortcut::activated, this, [this] {
        if (results_.rowCount() == 0) return;
        view_->setFocus();
        if (!view_->currentIndex().isValid()) view_->setCurrentIndex(results_.index(0, 0));
    });
    connect(bodies_, &QCheckBox::toggled, this, [this] { search(query_->text()); });
    connect(view_, &QTreeView::activated, this, [this](const QModelIndex& at) {
        const SearchHit& h = results_.hit(at.row());
        Q_EMIT openRequested(h.base, h.item);
    });
}

void SearchWindow::search(const QString& text) {
    typing_.stop();
    timer_.stop();
    results_.clear();
    foldersFor_ = -1;
    needle_ = foldForSearch(text.trimmed().toStdString());
    withBodies_ = bodies_->isChecked();
    base_ = 0;
    item_ = 0;
    firstHitMs_ = totalMs_ = -1;
    clock_.start();
    if (needle_.empty()) {
        count_->clear();
        return;
    }
    count_->setText(tr("Searching..."));
    timer_.start();
}

const std::vector<std::uint32_t>& SearchWindow::foldersOf(std::int32_t base) {
    if (foldersFor_ == base) return folderOfItem_;
    foldersFor_ = base;
    const RecoveredBase& b = *state_.base(base);
    folderOfItem_.assign(b.itemSummaries.size(), kNoFolder);
    for (std::uint32_t f = 0; f < b.folderEntries.size(); ++f) {
        const FolderEntry& e = b.folderEntries[f];
        if (e.record && !listedFolderKind(e.record->kind)) continue;
        const std::size_t end = std::min<std::size_t>(e.endItem, folderOfItem_.size());
        for (std::size_t i = e.firstItem; i < end; ++i)
            folderOfItem_[i] = f;
    }
    return folderOfItem_;
}

void SearchWindow::step() {
    QElapsedTimer slice;
    slice.start();
    std::vector<SearchHit> found;
    while (base_ < static_cast<std::int32_t>(state_.baseCount()) && slice.elapsed() < kSliceMs) {
        RecoveredBase* b = state_.base(base_);
        // A base being recovered is still being built by the worker.
        const bool recovering =
            state_.busy && state_.taskCode == app::TaskCode::Recover && state_.taskBase == base_;
        if (!b->openMode || recovering || state_.viewOf(*b).removedFromTree ||
            item_ >= std::min(b->itemSummaries.size(), b->messageEntries.size())) {
            ++base_;
            item_ = 0;
            continue;
        }
        const auto& folders = foldersOf(base_);
        const std::uint32_t end =
            static_cast<std::uint32_t>(std::min(b->itemSummaries.size(), b->messageEntries.size()));
        // Check the clock every few hundred items, not at each.
        for (std::uint32_t stop = std::min(end, item_ + 512); item_ < stop; ++item_) {
            const ItemSummary& s = b->itemSummaries[item_];
            if (s.hiddenCode != 0 || b->messageEntries[item_].loadFailed ||
                folders[item_] == kNoFolder)
                continue;
            bool hit = containsFolded(foldForSearch(s.subjectText), needle_) ||
                       containsFolded(foldForSearch(s.fromText), needle_) ||
                       containsFolded(foldForSearch(s.toText), needle_);
            if (!hit && withBodies_)
                hit = containsFolded(
                    foldForSearch(s.bodyText.empty() ? itemBody(*b, s) : s.bodyText), needle_);
            if (hit) found.push_back({base_, item_, folders[item_]});
        }
    }
    if (!found.empty() && firstHitMs_ < 0) firstHitMs_ = clock_.elapsed();
    results_.append(found);
    if (base_ >= static_cast<std::int32_t>(state_.baseCount())) {
        timer_.stop();
        totalMs_ = clock_.elapsed();
    }
    showCount();
}

void SearchWindow::showCount() {
    const int n = results_.rowCount();
    const QString found =
        n == 1 ? tr("1 item found") : tr("%1 items found").arg(QLocale().toString(n));
    count_->setText(running() ? tr("Searching... %1").arg(found) : found);
}

}  // namespace brevik::views
