#include "views/tree_pane.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <filesystem>
#include <fstream>

#include "app/file_search.h"
#include "support/app_fixtures.h"
#include "support/peer_tools.h"

namespace brevik::views {
namespace {

namespace fs = std::filesystem;

struct TreeFixture : ::testing::Test {
    test::TempDir dir;
    std::unique_ptr<app::AppState> state;

    void SetUp() override {
        app::AppEnvironment env;
        env.localDataFolder = (dir.path() / "data").string();
        state = std::make_unique<app::AppState>(env);
    }
    QString label(TreePane& tree, const QModelIndex& at) {
        return tree.model().data(at).toString();
    }
};

TEST_F(TreeFixture, GroupsBasesByFolderRunAndSetsFlagsPerNode) {
    state->addBase("/A", "Archive.pst");
    state->addBase("/B", "Mail.PST");
    state->addBase("/A", "Other.pst");
    state->addBase("/C", "hidden.pst", 2);  // a kind not shown unless asked for
    TreePane tree(*state);
    QAbstractItemModelTester tester(&tree.model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto& model = tree.model();
    const QModelIndex root = model.rootIndex();
    EXPECT_EQ(label(tree, root), "Brevik");
    ASSERT_EQ(model.rowCount(root), 3);  // A, B, A again
    EXPECT_EQ(label(tree, model.index(0, 0, root)), "/A");
    EXPECT_EQ(label(tree, model.index(2, 0, root)), "/A");
    EXPECT_EQ(label(tree, model.index(0, 0, model.index(0, 0, root))), "Archive");
    EXPECT_EQ(label(tree, model.index(0, 0, model.index(1, 0, root))), "Mail");
    EXPECT_TRUE(tree.isExpanded(root));

    tree.setCurrentIndex(model.baseIndex(1));
    EXPECT_EQ(state->selectedBase, 1);
    EXPECT_TRUE(state->canRemove && state->canRecover && state->canCopy);
    EXPECT_FALSE(state->canSave);  // nothing recovered yet
    tree.setCurrentIndex(model.index(1, 0, root));
    EXPECT_EQ(state->selectedBase, app::kDirectoryValue);
    EXPECT_TRUE(state->canRemove);
    EXPECT_FALSE(state->canRecover || state->canCopy || state->canSave);
    tree.setCurrentIndex(root);
    EXPECT_FALSE(state->canRemove || state->canRecover || state->canCopy || state->canSave);

    state->showKind2Bases = 1;
    tree.buildTree();
    EXPECT_EQ(model.rowCount(model.rootIndex()), 4);
}

TEST_F(TreeFixture, RemoveKeepsABaseOutButAGroupComesBackWithTheNextSearch) {
    const fs::path a = dir.path() / "a", b = dir.path() / "b";
    fs::create_directories(a);
    fs::create_directories(b);
    for (const char* n : {"one.pst", "two.pst"})
        std::ofstream(a / n) << "x";
    std::ofstream(b / "three.pst") << "x";
    state->stopEvent.reset();
    app::searchPath(*state, dir.path().string(), nullptr);
    ASSERT_EQ(state->baseCount(), 3u);
    TreePane tree(*state);
    QAbstractItemModelTester tester(&tree.model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto& model = tree.model();

    const std::int32_t removed = state->messageBases[0]->fileName == "one.pst" ? 0 : 1;
    tree.setCurrentIndex(model.baseIndex(removed));
    tree.removeFromTree();
    EXPECT_FALSE(model.baseIndex(removed).isValid());
    const QModelIndex groupB = model.baseIndex(2).parent();
    tree.setCurrentIndex(groupB);
    tree.removeFromTree();
    EXPECT_FALSE(model.baseIndex(2).isValid());

    app::searchPath(*state, dir.path().string(), nullptr);
    tree.buildTree();
    EXPECT_EQ(state->baseCount(), 3u);
    EXPECT_FALSE(model.baseIndex(removed).isValid());  // removed for good
    EXPECT_TRUE(model.baseIndex(2).isValid());         // its group comes back
}

}  // namespace
}  // namespace brevik::views
