#include "views/base_tree_model.h"

#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <unordered_set>

#include "message/item_summary.h"
#include "message/records.h"
#include "recovery/folder_tree.h"
#include "views/locale_dates.h"

namespace brevik::views {

namespace {

constexpr int kMaxLabel = 259;
constexpr int kMaxFolderDepth = 256;

QString baseLabel(const RecoveredBase& base) {
    QString name = QString::fromStdString(base.fileName);
    const QString lower = name.toLower();
    if (lower.endsWith(QLatin1String(".pst")) || lower.endsWith(QLatin1String(".ost")))
        name.chop(4);
    return name;
}

// Items a user sees in a folder's list: hidden and unreadable items are not counted.
int visibleItems(const RecoveredBase& base, const FolderEntry& folder) {
    int n = 0;
    const std::uint32_t end = std::min<std::uint32_t>(
        folder.endItem, static_cast<std::uint32_t>(
                            std::min(base.itemSummaries.size(), base.messageEntries.size())));
    for (std::uint32_t i = folder.firstItem; i < end; ++i)
        if (base.itemSummaries[i].hiddenCode == 0 && !base.messageEntries[i].loadFailed) ++n;
    return n;
}

}  // namespace

struct BaseTreeModel::Node {
    enum class Kind { Holder, Root, Directory, Base, Folder } kind = Kind::Holder;
    TreeItemValue value;
    QString label;  // directories only; bases and folders are read when shown
    const FolderTreeNode* folder = nullptr;
    int itemCount = 0;
    Node* parent = nullptr;
    int rowInParent = 0;  // kept current, so that finding a parent's index costs nothing
    std::vector<std::unique_ptr<Node>> children;

    Node* add(std::unique_ptr<Node> child) {
        child->parent = this;
        child->rowInParent = static_cast<int>(children.size());
        children.push_back(std::move(child));
        return children.back().get();
    }
    void erase(int row) {
        children.erase(children.begin() + row);
        for (std::size_t i = static_cast<std::size_t>(row); i < children.size(); ++i)
            children[i]->rowInParent = static_cast<int>(i);
    }
    int row() const { return rowInParent; }
};

BaseTreeModel::BaseTreeModel(app::AppState& state, QObject* parent)
    : QAbstractItemModel(parent), state_(state), root_(std::make_unique<Node>()) {
    for (const char* name : {"program", "disk-folder", "base", "base-loaded", "mail-folder",
                             "page-folder", "plain-folder"})
        icons_.push_back(QIcon(QStringLiteral(":/resources/icons/tree-%1.svg").arg(name)));
    buildTree();
}

BaseTreeModel::~BaseTreeModel() = default;

void BaseTreeModel::buildTree() {
    beginResetModel();
    root_->children.clear();
    auto root = std::make_unique<Node>();
    root->kind = Node::Kind::Root;
    root->value = TreeItemValue::root();
    root->label = QStringLiteral("Brevik");
    Node* top = root_->add(std::move(root));

    Node* directory = nullptr;
    std::string remembered;
    for (std::size_t i = 0; i < state_.baseCount(); ++i) {
        const RecoveredBase& b = *state_.messageBases[i];
        if (state_.viewOf(b).removedFromTree) continue;
        if ((b.baseKind == 2 && !state_.showKind2Bases) ||
            (b.baseKind == 3 && !state_.showKind3Bases))
            continue;
        if (!directory || b.folderPath != remembered) {
            remembered = b.folderPath;
            auto d = std::make_unique<Node>();
            d->kind = Node::Kind::Directory;
            d->value = TreeItemValue::directory();
            d->label = QString::fromStdString(b.folderPath);
            directory = top->add(std::move(d));
        }
        auto n = std::make_unique<Node>();
        n->kind = Node::Kind::Base;
        n->value = TreeItemValue::baseNode(static_cast<std::uint32_t>(i),
                                           b.topNode ? b.topNode->folderIndex : 0);
        Node* baseNode = directory->add(std::move(n));
        if (b.topNode) addFolders(baseNode, static_cast<std::int32_t>(i));
    }
    endResetModel();
}

void BaseTreeModel::addFolders(Node* baseNode, std::int32_t baseIndex) {
    const RecoveredBase& b = *state_.messageBases[static_cast<std::size_t>(baseIndex)];
    if (!b.topNode) return;
    // Pre-order walk below the top folder; a node is shown once and the depth is bounded, so
    // a damaged tree cannot loop.
    struct Frame {
        const FolderTreeNode* node;
        Node* parent;
        int depth;
    };
    const bool system = state_.showSystemFolders;
    const FolderTreeNode* start =
        system && b.systemFoldersHidden && b.rootNode ? b.rootNode : b.topNode;
    std::unordered_set<const FolderTreeNode*> seen{start};
    std::vector<Frame> stack;
    auto pushChildren = [&](const FolderTreeNode* n, Node* parent, int depth) {
        std::vector<const FolderTreeNode*> kids;
        for (const FolderTreeNode* c = n->firstChild; c && kids.size() < 100000; c = c->nextSibling)
            if (system || !c->system) kids.push_back(c);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.push_back({*it, parent, depth});
    };
    pushChildren(start, baseNode, 1);
    while (!stack.empty()) {
        const Frame f = stack.back();
        stack.pop_back();
        if (f.depth > kMaxFolderDepth || !seen.insert(f.node).second) continue;
        auto n = std::make_unique<Node>();
        n->kind = Node::Kind::Folder;
        n->folder = f.node;
        n->value =
            TreeItemValue::folder(static_cast<std::uint32_t>(baseIndex), f.node->folderIndex);
        if (f.node->folderIndex < b.folderEntries.size())
            n->itemCount = visibleItems(b, b.folderEntries[f.node->folderIndex]);
        Node* added = f.parent->add(std::move(n));
        pushChildren(f.node, added, f.depth + 1);
    }
}

void BaseTreeModel::insertFolderSubtree(std::int32_t baseIndex) {
    const QModelIndex at = this->baseIndex(baseIndex);
    Node* n = node(at);
    if (!n) return;
    const RecoveredBase& b = *state_.messageBases[static_cast<std::size_t>(baseIndex)];
    n->value = TreeItemValue::baseNode(static_cast<std::uint32_t>(baseIndex),
                                       b.topNode ? b.topNode->folderIndex : 0);
    clearFolderNodes(baseIndex);
    Node scratch;
    addFolders(&scratch, baseIndex);
    if (!scratch.children.empty()) {
        beginInsertRows(at, 0, static_cast<int>(scratch.children.size()) - 1);
        for (auto& c : scratch.children)
            n->add(std::move(c));
        endInsertRows();
    }
    Q_EMIT dataChanged(at, at);
}

void BaseTreeModel::clearFolderNodes(std::int32_t baseIndex) {
    const QModelIndex at = this->baseIndex(baseIndex);
    Node* n = node(at);
    if (!n || n->children.empty()) return;
    beginRemoveRows(at, 0, static_cast<int>(n->children.size()) - 1);
    n->children.clear();
    endRemoveRows();
}

void BaseTreeModel::removeNode(const QModelIndex& index) {
    Node* n = node(index);
    if (!n || !n->parent || n->kind == Node::Kind::Root) return;
    const int row = n->row();
    beginRemoveRows(index.parent(), row, row);
    n->parent->erase(row);
    endRemoveRows();
}

TreeItemValue BaseTreeModel::value(const QModelIndex& index) const {
    const Node* n = node(index);
    return n ? n->value : TreeItemValue{static_cast<std::uint32_t>(app::kNoBase)};
}

TreeImage BaseTreeModel::image(const QModelIndex& index) const {
    const Node* n = node(index);
    if (!n) return TreeImage::Program;
    switch (n->kind) {
        case Node::Kind::Holder:
        case Node::Kind::Root:
            return TreeImage::Program;
        case Node::Kind::Directory:
            return TreeImage::DiskFolder;
        case Node::Kind::Base: {
            const RecoveredBase* b = state_.base(n->value.baseIndex());
            return b && b->openMode ? TreeImage::BaseLoaded : TreeImage::BaseNotLoaded;
        }
        case Node::Kind::Folder:
            break;
    }
    const RecoveredBase* b = state_.base(n->value.baseIndex());
    const std::uint32_t f = n->value.folderIndex();
    if (!b || f >= b->folderEntries.size() || !b->folderEntries[f].record)
        return TreeImage::MailFolder;
    switch (b->folderEntries[f].record->kind) {
        case item_kind::kContact:
        case item_kind::kNote:
            return TreeImage::PageFolder;
        case item_kind::kAppointment:
        case item_kind::kJournal:
        case item_kind::kTask:
            return TreeImage::PlainFolder;
        default:
            return TreeImage::MailFolder;
    }
}

QModelIndex BaseTreeModel::rootIndex() const {
    return index(0, 0);
}

QModelIndex BaseTreeModel::baseIndex(std::int32_t base) const {
    if (root_->children.empty()) return {};
    for (const auto& dir : root_->children.front()->children)
        for (const auto& b : dir->children)
            if (b->kind == Node::Kind::Base && b->value.baseIndex() == base)
                return indexOf(b.get());
    return {};
}

QModelIndex BaseTreeModel::folderIndex(std::int32_t base, std::uint32_t folder) const {
    const Node* start = node(baseIndex(base));
    if (!start) return {};
    std::vector<const Node*> stack{start};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (n->kind == Node::Kind::Folder && n->value.folderIndex() == folder) return indexOf(n);
        for (const auto& c : n->children)
            stack.push_back(c.get());
    }
    return {};
}

QModelIndex BaseTreeModel::firstFolderWithItems(std::int32_t base) const {
    const Node* start = node(baseIndex(base));
    if (!start) return {};
    std::vector<const Node*> stack;
    for (auto it = start->children.rbegin(); it != start->children.rend(); ++it)
        stack.push_back(it->get());
    // Mail first: a contacts or notes folder is rarely what a user looks for first.
    QModelIndex fallback;
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (n->itemCount > 0) {
            const QModelIndex at = indexOf(n);
            if (image(at) == TreeImage::MailFolder) return at;
            if (!fallback.isValid()) fallback = at;
        }
        for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
            stack.push_back(it->get());
    }
    return fallback;
}

std::vector<std::int32_t> BaseTreeModel::basesBelow(const QModelIndex& index) const {
    std::vector<std::int32_t> out;
    if (const Node* n = node(index); n && n->kind == Node::Kind::Directory)
        for (const auto& c : n->children)
            out.push_back(c->value.baseIndex());
    return out;
}

BaseTreeModel::Node* BaseTreeModel::node(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex BaseTreeModel::indexOf(const Node* n) const {
    if (!n || n == root_.get()) return {};
    return createIndex(n->row(), 0, const_cast<Node*>(n));
}

QModelIndex BaseTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* p = parent.isValid() ? node(parent) : root_.get();
    if (!p || column != 0 || row < 0 || row >= static_cast<int>(p->children.size())) return {};
    return createIndex(row, column, p->children[static_cast<std::size_t>(row)].get());
}

QModelIndex BaseTreeModel::parent(const QModelIndex& child) const {
    const Node* n = node(child);
    if (!n || !n->parent || n->parent == root_.get()) return {};
    return indexOf(n->parent);
}

int BaseTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    const Node* p = parent.isValid() ? node(parent) : root_.get();
    return p ? static_cast<int>(p->children.size()) : 0;
}

int BaseTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant BaseTreeModel::data(const QModelIndex& index, int role) const {
    const Node* n = node(index);
    if (!n) return {};
    if (role == Qt::DecorationRole) return icons_[static_cast<std::size_t>(image(index))];
    const RecoveredBase* b = state_.base(n->value.baseIndex());
    if (role == Qt::ToolTipRole) {
        if (n->kind == Node::Kind::Base && b) {
            // Two files of one name tell apart by where they are, their size and their age.
            const QFileInfo info(QString::fromStdString(b->folderPath + "/" + b->fileName));
            return tr("%1\n%2, modified %3")
                .arg(info.filePath(), QLocale().formattedDataSize(info.size()),
                     QLocale().toString(info.lastModified(), fourDigitYearFormat()));
        }
        return {};
    }
    if (role != Qt::DisplayRole) return {};
    switch (n->kind) {
        case Node::Kind::Holder:
        case Node::Kind::Root:
        case Node::Kind::Directory:
            return n->label;
        case Node::Kind::Base:
            return b ? baseLabel(*b) : QString();
        case Node::Kind::Folder:
            break;
    }
    QString name =
        b ? QString::fromStdString(std::string(folderName(*b, n->value.folderIndex()))) : QString();
    if (name.isEmpty()) name = QStringLiteral("U");
    name.truncate(kMaxLabel);
    if (n->itemCount > 0) name += QStringLiteral(" (%1)").arg(n->itemCount);
    return name;
}

}  // namespace brevik::views
