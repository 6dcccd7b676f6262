// Search across every recovered file: sender, recipients and subject (and, when asked, the
// bodies), without regard to case or accents. Results come in as they are found, each with its
// file and folder, and open in place in the main window.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "app/app_state.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTreeView;

namespace brevik::views {

// One found item.
struct SearchHit {
    std::int32_t base;
    std::uint32_t item;
    std::uint32_t folder;
};

class SearchResultsModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit SearchResultsModel(const app::AppState& state, QObject* parent = nullptr);
    void clear();
    void append(const std::vector<SearchHit>& hits);
    const SearchHit& hit(int row) const { return hits_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    const app::AppState& state_;
    std::vector<SearchHit> hits_;
};

class SearchWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit SearchWindow(app::AppState& state, QWidget* parent = nullptr);

    // Starts a search for `text` (the box's text when called from the window).
    void search(const QString& text);
    bool running() const { return timer_.isActive(); }
    SearchResultsModel& results() { return results_; }
    QLineEdit* queryBox() const { return query_; }
    QCheckBox* bodiesBox() const { return bodies_; }
    QTreeView* resultView() const { return view_; }
    // Milliseconds from the start of the last search to its first hit and to its end.
    qint64 firstHitMs() const { return firstHitMs_; }
    qint64 totalMs() const { return totalMs_; }

  Q_SIGNALS:
    // A result was chosen: show it in the main window.
    void openRequested(std::int32_t base, std::uint32_t item);

  private:
    void step();
    void showCount();
    // The folder of each item of the base, for the folder column.
    const std::vector<std::uint32_t>& foldersOf(std::int32_t base);

    app::AppState& state_;
    SearchResultsModel results_;
    QLineEdit* query_ = nullptr;
    QCheckBox* bodies_ = nullptr;
    QLabel* count_ = nullptr;
    QTreeView* view_ = nullptr;
    QTimer timer_;
    QTimer typing_;
    QElapsedTimer clock_;
    std::string needle_;
    bool withBodies_ = false;
    std::int32_t base_ = 0;  // where the search goes on
    std::uint32_t item_ = 0;
    std::int32_t foldersFor_ = -1;  // the base `folderOfItem_` belongs to
    std::vector<std::uint32_t> folderOfItem_;
    qint64 firstHitMs_ = -1;
    qint64 totalMs_ = -1;
};

}  // namespace brevik::views
