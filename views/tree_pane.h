// The left pane: the tree of message bases and folders. Selection decides what the right pane
// shows and which commands are available; a double click recovers a base.
#pragma once

#include <QTreeView>

#include "app/app_state.h"
#include "views/base_tree_model.h"

class QMenu;

namespace brevik::views {

class TreePane final : public QTreeView {
    Q_OBJECT
  public:
    explicit TreePane(app::AppState& state, QWidget* parent = nullptr);

    BaseTreeModel& model() { return model_; }
    // Rebuilds after a search; only the root and the last folder group stay expanded.
    void buildTree();
    void insertFolderSubtree(std::int32_t baseIndex);
    void clearFolderNodes(std::int32_t baseIndex);
    // Remove: a base node leaves the tree for good; a folder group's bases come back with the
    // next search.
    void removeFromTree();
    // Selects the node of a base.
    void selectBase(std::int32_t baseIndex);
    // How wide the shown names are, with their indentation and icons.
    int namesWidth() const { return sizeHintForColumn(0); }
    // The context menu's commands; owned by the window.
    void setContextMenu(QMenu* menu) { contextMenu_ = menu; }

  Q_SIGNALS:
    // The selection moved to another base or folder; flags are updated already.
    void selectionMoved();
    void startRecoveryRequested();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void onCurrentChanged(const QModelIndex& current);
    void expandLastGroup();
    // A double click or Enter on a base that is not recovered yet asks for its recovery.
    void requestRecovery(const QModelIndex& at);

    app::AppState& state_;
    BaseTreeModel model_;
    QMenu* contextMenu_ = nullptr;
};

}  // namespace brevik::views
