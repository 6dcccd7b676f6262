// The main window's layout: splitters, window rectangle and the list's columns, kept between
// runs; without a kept layout, sizes that fit what is shown.
#include <QEvent>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "views/item_list_pane.h"
#include "views/right_pane.h"
#include "views/tree_pane.h"
#include "window/main_window.h"

namespace brevik::app {

namespace {

// Where a list layout's columns are kept: "ListColumns1" for mail and so on.
std::string columnsKey(views::ListLayout layout) {
    return "ListColumns" + std::to_string(static_cast<int>(layout));
}

QRect toQRect(const WindowRect& r) {
    return QRect(r.left, r.top, r.width(), r.height());
}
WindowRect fromQRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

void MainWindow::restoreColumns() {
    if (settings_) {
        std::map<views::ListLayout, QByteArray> columns;
        for (auto layout :
             {views::ListLayout::Mail, views::ListLayout::Notes, views::ListLayout::Contacts})
            if (auto kept = settings_->readBytes(SettingsScope::User, columnsKey(layout)))
                columns[layout] = QByteArray(reinterpret_cast<const char*>(kept->data()),
                                             static_cast<qsizetype>(kept->size()));
        right_->itemList()->setColumnStates(columns);
    }
}

void MainWindow::saveColumns() {
    if (settings_)
        for (const auto& [layout, header] : right_->itemList()->columnStates())
            settings_->writeBytes(columnsKey(layout),
                                  std::vector<std::uint8_t>(header.begin(), header.end()));
}

WindowLayout MainWindow::currentLayout() const {
    WindowLayout layout;
    const QList<int> main = work_->sizes();
    const QList<int> right = right_->splitter()->sizes();
    layout.workSplit = main.isEmpty() ? 200 : main.front();
    layout.rightSplit = right.isEmpty() ? 200 : right.front();
    layout.window = fromQRect(geometry());
    layout.maximised = isMaximized();
    return layout;
}

void MainWindow::restoreLayout() {
    const WindowLayout layout = readLayout(settings_);
    if (layout.window) setGeometry(toQRect(*layout.window));
    if (layout.maximised && layout.restore) setGeometry(toQRect(*layout.restore));
    wasMaximised_ = false;
}

void MainWindow::placeSplitters() {
    const WindowLayout layout = readLayout(settings_);
    // Positions in pixels; -1 centres; each pane keeps a usable minimum.
    auto place = [](QSplitter* s, int first, int outer) {
        // A splitter behind a page has no size of its own yet: the pane's is what it will get.
        const int own = s->orientation() == Qt::Horizontal ? s->width() : s->height();
        const int total = (s->isVisible() ? own : outer) - s->handleWidth();
        if (total <= 0) return;
        if (first < 0) first = total / 2;
        first = std::clamp(first, std::min(60, total / 2), std::max(0, total - 60));
        s->setSizes({first, total - first});
    };
    // Without a remembered layout: the tree as wide as its names, the preview the larger part.
    const bool treeKept = settings_ && settings_->readWord(SettingsScope::User, "WorkWndSplit");
    const bool listKept = settings_ && settings_->readWord(SettingsScope::User, "RightWndSplit");
    treeSizedByUser_ = treeKept;
    place(work_, treeKept ? layout.workSplit : treeFitWidth(), work_->width());
    place(right_->splitter(), listKept ? layout.rightSplit : right_->height() * 2 / 5,
          right_->height());
}

int MainWindow::treeFitWidth() const {
    // Names, their indentation and icons, and room for a scroll bar; within reason.
    const int names = tree_->namesWidth() + 2 * tree_->frameWidth() +
                      tree_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    return std::clamp(names, 200, std::max(200, width() * 2 / 5));
}

void MainWindow::widenTreeToFit() {
    if (treeSizedByUser_) return;
    const QList<int> sizes = work_->sizes();
    const int want = treeFitWidth();
    if (sizes.size() == 2 && want > sizes[0])
        work_->setSizes({want, std::max(0, sizes[0] + sizes[1] - want)});
}

void MainWindow::showWithLayout() {
    restoreLayout();
    if (readLayout(settings_).maximised)
        showMaximized();
    else
        show();
    // Splitters are placed once the window has its final size, as the event loop starts.
    QTimer::singleShot(0, this, &MainWindow::placeSplitters);
}

void MainWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::WindowStateChange) {
        const bool maximised = isMaximized();
        if (maximised && !wasMaximised_) {
            const QRect before = normalGeometry().isValid() ? normalGeometry() : geometry();
            noteMaximised(settings_, fromQRect(before));
        } else if (!maximised && wasMaximised_) {
            noteRestored(settings_);
        }
        wasMaximised_ = maximised;
    }
    QMainWindow::changeEvent(e);
}

}  // namespace brevik::app
