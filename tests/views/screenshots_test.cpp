// The main window on the built-in sample and on corpus files, written as PNG files for review.
#include <gtest/gtest.h>

#include <QDir>
#include <QSplitter>
#include <QTest>
#include <filesystem>

#include "gui_support.h"
#include "platform/prompter.h"
#include "support/app_fixtures.h"
#include "support/corpus.h"
#include "support/peer_tools.h"
#include "views/add_bases_dialog.h"
#include "views/item_list_pane.h"
#include "views/right_pane.h"
#include "views/tree_pane.h"
#include "window/main_window.h"

namespace brevik::views {
namespace {

struct Shots : ::testing::Test {
    test::TempDir dir;
    test::MemorySettingsStore store;
    platform::RecordingPrompter prompter;
    std::unique_ptr<app::AppState> state;
    std::unique_ptr<app::MainWindow> window;

    void SetUp() override {
        platform::Prompter::install(&prompter);
        app::AppEnvironment env;
        env.settings = &store;
        env.localDataFolder = (dir.path() / "data").string();
        state = std::make_unique<app::AppState>(env);
        window = std::make_unique<app::MainWindow>(*state, &store);
        window->resize(1280, 800);
        window->show();
        window->workSplitter()->setSizes({300, 980});
        window->rightPane()->splitter()->setSizes({330, 400});
    }
    void TearDown() override {
        window.reset();
        state.reset();
        platform::Prompter::install(nullptr);
    }
    void recover(const std::string& file) {
        ASSERT_EQ(window->addFiles({QString::fromStdString(file)}, true), 1);
        ASSERT_TRUE(test::waitUntil([&] { return state->busy == 0; }));
        window->tree()->expandAll();
    }
    // Selects the first tree node whose label starts with `label`, below the last base.
    bool selectFolder(const QString& label) {
        auto& model = window->tree()->model();
        const QModelIndex base = model.baseIndex(static_cast<std::int32_t>(state->baseCount() - 1));
        std::vector<QModelIndex> todo{base};
        while (!todo.empty()) {
            const QModelIndex at = todo.back();
            todo.pop_back();
            if (model.data(at).toString().startsWith(label)) {
                window->tree()->setCurrentIndex(at);
                return true;
            }
            for (int r = model.rowCount(at) - 1; r >= 0; --r)
                todo.push_back(model.index(r, 0, at));
        }
        return false;
    }
    // Makes the first row that `want` accepts current.
    template <typename F>
    bool selectRow(F want) {
        ItemListModel& m = window->rightPane()->itemList()->model();
        RecoveredBase* b = state->selected();
        for (int r = 0; r < m.rowCount(); ++r)
            if (want(b->itemSummaries[m.itemAt(r)])) {
                window->rightPane()->itemList()->view()->setCurrentIndex(m.index(r, 0));
                return true;
            }
        return false;
    }
    void shoot(const char* name) {
        QTest::qWait(30);
        test::screenshot(window.get(), QString::fromLatin1(name));
    }
};

TEST_F(Shots, SampleFolders) {
    shoot("views-start-page");
    AddBasesDialog add(searchPlaces(mountedFileSystems(), QDir::homePath(), {}), window.get());
    add.show();
    QTest::qWait(30);
    test::screenshot(&add, QStringLiteral("views-add-dialog"));
    add.reject();
    const std::string sample = (dir.path() / "Sample mailbox.pst").string();
    test::writeSample(sample, 120, 6, 4);
    recover(sample);
    ASSERT_TRUE(selectFolder("Inbox"));
    ASSERT_TRUE(selectRow([](const ItemSummary& s) {
        return s.bodyFormat == 1 && s.attachmentCount > 0 && !s.deletedMark;
    }));
    EXPECT_EQ(window->rightPane()->mode(), RightPaneMode::ListAndHeader);
    shoot("views-mail-html-attachment");
    ASSERT_TRUE(selectRow([](const ItemSummary& s) { return s.deletedMark != 0; }));
    shoot("views-deleted-item");
    ASSERT_TRUE(selectFolder("Contacts"));
    shoot("views-contacts");
    ASSERT_TRUE(selectFolder("Notes"));
    shoot("views-notes");
    ASSERT_TRUE(selectFolder("Lost and Found"));
    EXPECT_GT(window->rightPane()->itemList()->model().rowCount(), 0);
    shoot("views-lost-and-found");
}

TEST_F(Shots, CorpusFiles) {
    BREVIK_REQUIRE_CORPUS();
    recover(test::corpusPath("pst/outlook1.pst"));
    ASSERT_TRUE(selectFolder("Inbox"));
    ASSERT_TRUE(selectRow([](const ItemSummary& s) { return s.subjectText == "HTML body"; }));
    shoot("views-corpus-outlook1-html");
    if (selectFolder("Lost and Found")) shoot("views-corpus-outlook1-lost-and-found");
    ASSERT_TRUE(selectFolder("Calendar"));
    EXPECT_EQ(window->rightPane()->mode(), RightPaneMode::ListAndPreview);
    shoot("views-corpus-outlook1-calendar");
    recover(test::corpusPath("pst/sample-contacts.pst"));
    ASSERT_TRUE(selectFolder("Contacts"));
    shoot("views-corpus-contacts");
}

}  // namespace
}  // namespace brevik::views
