// The right pane: an information page, or the item list of the selected folder above the
// preview of its current item.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "app/app_state.h"

class QSplitter;
class QLabel;

namespace brevik::views {

class RightPane final : public QWidget {
    Q_OBJECT
  public:
    explicit RightPane(app::AppState& state, QWidget* parent = nullptr);

    // Shows what fits the tree selection (a page, or the list and the preview).
    void showSelectionPage();
    // The list above, the preview below; its position is kept with the window layout.
    QSplitter* splitter() const { return splitter_; }
    // Item indexes chosen in the list, in list order.
    std::vector<std::uint32_t> selectedItems() const;
    // The widgets that take the keyboard focus in turn after the tree.
    QWidget* listWidget() const;
    QWidget* previewWidget() const;

  private:
    app::AppState& state_;
    QSplitter* splitter_ = nullptr;
    QLabel* list_ = nullptr;
    QLabel* preview_ = nullptr;
};

}  // namespace brevik::views
