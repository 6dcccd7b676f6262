// The item list: a filter box above the rows of the selected folder. The current row is the
// base's current item; a right click offers the item commands, a double click opens the item.
#pragma once

#include <QTreeView>
#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "app/app_state.h"
#include "views/item_list_model.h"

class QDialog;
class QLineEdit;
class QMenu;

namespace brevik::views {

class ItemListView;

class ItemListPane final : public QWidget {
    Q_OBJECT
  public:
    explicit ItemListPane(app::AppState& state, QWidget* parent = nullptr);

    // Lists the selected folder of the selected base and makes its first row current.
    void fillItemList();
    void clear();

    ItemListModel& model() { return model_; }
    QTreeView* view() const;
    QLineEdit* filterBox() const { return filter_; }
    // Item indexes of the selected rows, in list order.
    std::vector<std::uint32_t> selectedItems() const;
    // Makes item `item` current and selected, clearing a filter that hides it; false when the
    // folder does not list it.
    bool selectItem(std::uint32_t item);
    // Puts the keyboard in the filter box.
    void focusFilter();
    // Column widths, order and sort of each layout shown, the current one as it is now; kept
    // with the window layout.
    std::map<ListLayout, QByteArray> columnStates() const;
    void setColumnStates(const std::map<ListLayout, QByteArray>& states) { columnStates_ = states; }
    // A header click on list column `column`.
    void sortByColumn(int column);

    // The item commands of the context menu. Opening writes the current item as an .eml file
    // into the temporary folder and hands it to the desktop's mail program; the file path is
    // returned (empty on failure). The source window shows the item's header lines.
    QString openSelectedItem();
    QDialog* viewSource();
    // How files are handed to the desktop (tests replace it).
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { opener_ = std::move(opener); }
    // The menu as it would show now; null when it would not show.
    QMenu* buildContextMenu();

  Q_SIGNALS:
    // The current row moved to another item (or to none: 2147483647).
    void currentItemChanged(std::uint32_t item);

  private:
    friend class ItemListView;
    void onCurrentChanged(const QModelIndex& current);
    void onFilterEdited(const QString& text);
    void applyColumnWidths();
    void showSortArrow();
    void showContextMenu(const QPoint& globalPos, const QModelIndex& at);
    void selectRow(int row);

    app::AppState& state_;
    ItemListModel model_;
    QLineEdit* filter_ = nullptr;
    ItemListView* view_ = nullptr;
    ListLayout shownLayout_ = ListLayout::Mail;
    bool widthsSet_ = false;
    std::map<ListLayout, QByteArray> columnStates_;
    std::function<bool(const QUrl&)> opener_;
};

}  // namespace brevik::views
