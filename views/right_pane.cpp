#include "views/right_pane.h"

#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

#include "engine/folder_tree.h"

namespace brevik::views {

RightPane::RightPane(app::AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    splitter_ = new QSplitter(Qt::Vertical, this);
    list_ = new QLabel(splitter_);
    preview_ = new QLabel(splitter_);
    for (QLabel* l : {list_, preview_}) {
        l->setAlignment(Qt::AlignCenter);
        l->setFocusPolicy(Qt::StrongFocus);
        l->setWordWrap(true);
    }
    layout->addWidget(splitter_);
    showSelectionPage();
}

void RightPane::showSelectionPage() {
    const MessageBase* b = state_.selected();
    if (!b) {
        list_->setText(tr("Add an Outlook data file, then double-click it to recover it."));
        preview_->clear();
        return;
    }
    if (!b->openMode) {
        list_->setText(tr("%1 is not recovered yet. Double-click it or press Recovery.")
                           .arg(QString::fromStdString(b->fileName)));
        preview_->clear();
        return;
    }
    const std::uint32_t f = state_.selectedFolderId;
    const QString name = QString::fromStdString(std::string(folderName(*b, f)));
    const std::uint32_t n = f < b->folderEntries.size()
                                ? b->folderEntries[f].endItem - b->folderEntries[f].firstItem
                                : 0;
    list_->setText(tr("%1: %2 items").arg(name).arg(n));
    preview_->clear();
}

std::vector<std::uint32_t> RightPane::selectedItems() const {
    return {};
}
QWidget* RightPane::listWidget() const {
    return list_;
}
QWidget* RightPane::previewWidget() const {
    return preview_;
}

}  // namespace brevik::views
