#include "views/tree_pane.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

namespace brevik::views {

TreePane::TreePane(app::AppState& state, QWidget* parent)
    : QTreeView(parent), state_(state), model_(state) {
    setModel(&model_);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setAnimated(false);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    // Long folder names scroll rather than being cut.
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideNone);
    setAccessibleName(QStringLiteral("Data files and folders"));
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onCurrentChanged(current); });
    expandLastGroup();
}

void TreePane::buildTree() {
    model_.buildTree();
    expandLastGroup();
}

void TreePane::expandLastGroup() {
    const QModelIndex root = model_.rootIndex();
    expand(root);
    const int groups = model_.rowCount(root);
    if (groups > 0) expand(model_.index(groups - 1, 0, root));
}

void TreePane::insertFolderSubtree(std::int32_t baseIndex) {
    model_.insertFolderSubtree(baseIndex);
    const QModelIndex at = model_.baseIndex(baseIndex);
    expand(at);
    // The caret on this base now stands for its top folder.
    if (currentIndex() == at) {
        const TreeItemValue v = model_.value(at);
        state_.selectedFolderId = v.folderIndex();
        if (RecoveredBase* b = state_.base(baseIndex))
            state_.viewOf(*b).currentFolderId = v.folderIndex();
    }
}

void TreePane::clearFolderNodes(std::int32_t baseIndex) {
    model_.clearFolderNodes(baseIndex);
}

void TreePane::selectBase(std::int32_t baseIndex) {
    const QModelIndex at = model_.baseIndex(baseIndex);
    if (at.isValid()) setCurrentIndex(at);
}

void TreePane::onCurrentChanged(const QModelIndex& current) {
    const TreeItemValue v = model_.value(current);
    const std::int32_t b = v.baseIndex();
    const std::uint32_t f = v.folderIndex();
    if (state_.selectedBase == b && state_.selectedFolderId == f) return;
    state_.selectedBase = b;
    state_.selectedFolderId = f;
    if (b >= app::kNoBase) {
        state_.canRemove = b == app::kDirectoryValue;
        state_.canCopy = state_.canSave = state_.canRecover = 0;
    } else if (RecoveredBase* base = state_.base(b)) {
        state_.viewOf(*base).currentFolderId = f;
        state_.canCopy = 1;
        state_.canRemove = state_.canRecover = v.isBaseNode();
        state_.canSave = base->itemCount != 0;
    }
    Q_EMIT selectionMoved();
}

void TreePane::removeFromTree() {
    const QModelIndex at = currentIndex();
    const TreeItemValue v = model_.value(at);
    const std::int32_t b = v.baseIndex();
    if (b < app::kNoBase) {
        if (!v.isBaseNode()) return;
        if (RecoveredBase* base = state_.base(b)) {
            state_.viewOf(*base).removedFromTree = true;
            state_.resetBase(b);
        }
    } else if (b == app::kDirectoryValue) {
        for (std::int32_t i : model_.basesBelow(at))
            state_.resetBase(i);
    } else {
        return;
    }
    model_.removeNode(at);
    // The view moves the caret on its own; make sure the flags follow even when it did not.
    onCurrentChanged(currentIndex());
}

void TreePane::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    if (!at.isValid()) return;
    if (!model_.value(at).isBaseNode()) {
        setExpanded(at, !isExpanded(at));
        return;
    }
    requestRecovery(at);
}

void TreePane::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        model_.value(currentIndex()).isBaseNode()) {
        requestRecovery(currentIndex());
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TreePane::requestRecovery(const QModelIndex& at) {
    if (at != currentIndex()) return;
    const RecoveredBase* b = state_.selected();
    if (state_.canRecover && !state_.busy && b && b->openMode == 0) Q_EMIT startRecoveryRequested();
}

void TreePane::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex at = indexAt(event->pos());
    if (!at.isValid() || !contextMenu_) return;
    setCurrentIndex(at);
    contextMenu_->exec(event->globalPos());
}

}  // namespace brevik::views
