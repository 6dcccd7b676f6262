// The tree of message bases: a root, the folders on disk that hold bases, the bases, and below
// each recovered base its folder tree. The model holds only the shape; names and counts are
// read from the bases when shown.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "recovery/folder_tree_node.h"
#include "views/tree_item_value.h"

namespace brevik::views {

enum class TreeImage {
    Program,
    DiskFolder,
    BaseNotLoaded,
    BaseLoaded,
    MailFolder,
    PageFolder,
    PlainFolder
};

class BaseTreeModel final : public QAbstractItemModel {
    Q_OBJECT
  public:
    explicit BaseTreeModel(app::AppState& state, QObject* parent = nullptr);
    ~BaseTreeModel() override;

    // Rebuilds from the base list: every base not removed (and not filtered by kind), grouped
    // under a folder node per run of bases in the same folder.
    void buildTree();
    // Adds the folder tree of a base just recovered below its node.
    void insertFolderSubtree(std::int32_t baseIndex);
    // Takes the folder nodes below a base's node away (before it is recovered again).
    void clearFolderNodes(std::int32_t baseIndex);
    // Takes a node and everything below it out of the tree.
    void removeNode(const QModelIndex& index);

    TreeItemValue value(const QModelIndex& index) const;
    TreeImage image(const QModelIndex& index) const;
    QModelIndex rootIndex() const;
    QModelIndex baseIndex(std::int32_t base) const;
    // The node of folder `folder` of a base; invalid when the tree does not show it.
    QModelIndex folderIndex(std::int32_t base, std::uint32_t folder) const;
    // The first folder below a base's node, in tree order, that lists items; invalid when none.
    QModelIndex firstFolderWithItems(std::int32_t base) const;
    // The base indexes of a folder-group node's bases.
    std::vector<std::int32_t> basesBelow(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  private:
    struct Node;
    Node* node(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* n) const;
    void addFolders(Node* baseNode, std::int32_t baseIndex);

    app::AppState& state_;
    std::unique_ptr<Node> root_;  // an invisible holder of the one visible root
    std::vector<QIcon> icons_;
};

}  // namespace brevik::views
