#include "window/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include <QRadioButton>
#include "gui_support.h"
#include "platform/prompter.h"
#include "platform/qt_settings_store.h"
#include "support/app_fixtures.h"
#include "support/corpus.h"
#include "support/damaged_items.h"
#include "support/peer_tools.h"
#include "views/preview_pane.h"
#include "views/right_pane.h"
#include "views/search_window.h"
#include "views/tree_pane.h"
#include "window/about_dialog.h"
#include "window/help_window.h"
#include "window/options_dialog.h"
#include "window/report_dialog.h"
#include "window/save_as_dialog.h"
#include "writers/pst/store_writer.h"

namespace brevik::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct WindowFixture : ::testing::Test {
    test::TempDir dir;
    test::MemorySettingsStore store;
    platform::RecordingPrompter prompter;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainWindow> window;

    void SetUp() override {
        platform::Prompter::install(&prompter);
        AppEnvironment env;
        env.settings = &store;
        env.localDataFolder = (dir.path() / "data").string();
        state = std::make_unique<AppState>(env);
        window = std::make_unique<MainWindow>(*state, &store);
        window->resize(1000, 700);
        window->show();
    }
    void TearDown() override {
        window.reset();
        state.reset();
        platform::Prompter::install(nullptr);
    }
    bool idle() const { return state->busy == 0; }
};

TEST_F(WindowFixture, RecoversTheSampleWithProgressAndShowsItsFolders) {
    const std::string sample = (dir.path() / "sample.pst").string();
    test::writeSample(sample, 20, 3, 2);
    EXPECT_EQ(window->statusText(), "Ready");
    test::screenshot(window.get(), QStringLiteral("main-window-start"));
    // Every key the help names belongs to a command, which the menus show.
    QFile helpPage(":/resources/help/index.html");
    ASSERT_TRUE(helpPage.open(QIODevice::ReadOnly));
    const QString helpText = QString::fromUtf8(helpPage.readAll());
    for (const char* key : {"Ctrl+O", "F5", "Esc", "Delete", "Ctrl+F", "Ctrl+Shift+F",
                            "Ctrl+Shift+S", "Enter", "Ctrl+U", "F1", "Ctrl+Q"}) {
        EXPECT_TRUE(helpText.contains(QString("\"key\">%1<").arg(key))) << key;
        const QKeySequence wanted(QString(key) == "Enter" ? "Return" : key);
        bool found = false;
        for (QAction* a : window->findChildren<QAction*>())
            found = found || (a->shortcut() == wanted && !a->associatedObjects().isEmpty());
        EXPECT_TRUE(found) << key;
    }
    window->action(cmd::kHelpTopics)->trigger();
    auto* help = window->findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    test::screenshot(help, QStringLiteral("help-window"));
    help->close();
    {
        AboutDialog about(window.get());
        EXPECT_TRUE(about.text().contains("Version ")) << about.text().toStdString();
        about.show();
        test::screenshot(&about, QStringLiteral("about-dialog"));
    }

    ASSERT_EQ(
        window->addFiles({QString::fromStdString(sample), QStringLiteral("/no/such.pst")}, true),
        1);
    EXPECT_EQ(state->busy, 1);
    EXPECT_TRUE(window->action(cmd::kStopToolbar)->isEnabled());
    EXPECT_FALSE(window->action(cmd::kAddToolbar)->isEnabled());
    EXPECT_FALSE(window->action(cmd::kOptions)->isEnabled());
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));

    EXPECT_EQ(window->statusText(), "Ready");
    EXPECT_EQ(window->progressValue(), -1);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(state->base(0)->openMode, 1u);
    EXPECT_TRUE(window->windowTitle().startsWith("sample.pst - "));
    EXPECT_TRUE(window->action(cmd::kSaveAs)->isEnabled());
    EXPECT_TRUE(window->summaryText().startsWith("sample.pst: 25 items"))
        << window->summaryText().toStdString();
    EXPECT_FALSE(window->action(cmd::kRecoveryToolbar)->isEnabled() &&
                 state->base(0)->openMode == 0);
    // The base node now holds the folder tree, expanded.
    auto& model = window->tree()->model();
    const QModelIndex baseNode = model.baseIndex(0);
    ASSERT_TRUE(baseNode.isValid());
    EXPECT_GE(model.rowCount(baseNode), 1);
    EXPECT_TRUE(window->tree()->isExpanded(baseNode));
    window->tree()->expandAll();
    test::screenshot(window.get(), QStringLiteral("main-window-sample"));
    // The verdict in words, the counts the tree shows, offsets only behind the details.
    const QString report = reportHtml(*state->base(0));
    // The sample's orphaned items name a folder it does not hold: a lost folder.
    EXPECT_TRUE(report.contains("Damaged"));
    EXPECT_TRUE(report.contains("25 items in ")) << report.toStdString();
    EXPECT_FALSE(report.contains("0x"));
    {
        ReportDialog dialog(*state->base(0));
        dialog.show();
        test::screenshot(&dialog, QStringLiteral("recovery-report"));
    }

    // A file cut short recovers what it can, and the report says data was lost.
    const std::string cut = (dir.path() / "cut.pst").string();
    fs::copy_file(sample, cut);
    fs::resize_file(cut, fs::file_size(cut) * 9 / 10);
    ASSERT_EQ(window->addFiles({QString::fromStdString(cut)}, true), 1);
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    RecoveredBase* damaged = state->base(1);
    ASSERT_EQ(damaged->resultOk, 1);
    EXPECT_TRUE(reportHtml(*damaged).contains("Damaged"));
    EXPECT_TRUE(reportHtml(*damaged, true).contains("0x"));
    {
        ReportDialog dialog(*damaged);
        dialog.detailsBox()->setChecked(true);
        dialog.show();
        test::screenshot(&dialog, QStringLiteral("recovery-report-damaged"));
    }
    EXPECT_TRUE(window->summaryText().contains("damaged")) << window->summaryText().toStdString();

    // Items that lost a part are listed by name in the report, with the parts.
    const std::string parts = (dir.path() / "parts.pst").string();
    test::writeDamagedItemsFile(parts);
    ASSERT_EQ(window->addFiles({QString::fromStdString(parts)}, true), 1);
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    const QString partsReport = reportHtml(*state->base(2));
    EXPECT_TRUE(partsReport.contains("Damaged items")) << partsReport.toStdString();
    EXPECT_TRUE(partsReport.contains("attachment 2 (invoice.pdf)"));
    EXPECT_TRUE(partsReport.contains("3 items lost part of their contents"));
    {
        ReportDialog dialog(*state->base(2));
        dialog.show();
        test::screenshot(&dialog, QStringLiteral("recovery-report-damaged-items"));
    }
    window->tree()->selectBase(0);

    // Recovering it again first empties its folders, then fills them anew.
    window->startRecovery();
    EXPECT_EQ(model.rowCount(model.baseIndex(0)), 0);
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    EXPECT_GE(model.rowCount(model.baseIndex(0)), 1);
}

TEST_F(WindowFixture, StopEndsARecoveryAndFailuresSayWhy) {
    const std::string path = (dir.path() / "slow.pst").string();
    // Enough items that the pass, reading in large chunks on several threads, is still loading
    // them when the stop comes.
    test::writeSample(path, 400, 5, 2);
    RecoveredBase* b = state->addBase(dir.path().string(), "slow.pst");
    b->attachSource(test::slowSource(test::readWholeFile(path), 2ms));
    window->tree()->buildTree();
    window->tree()->selectBase(0);
    window->startRecovery();
    EXPECT_TRUE(window->statusText().startsWith("Recovering of slow.pst"));
    EXPECT_GE(window->progressValue(), 0);
    ASSERT_TRUE(test::waitUntil([&] { return window->progressValue() > 0; }, 5000));
    test::screenshot(window.get(), QStringLiteral("main-window-recovering"));
    window->stopTask();
    EXPECT_EQ(window->statusText(), "Please wait,stopping...");
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }, 2000));
    EXPECT_EQ(window->statusText(), "Ready");
    EXPECT_EQ(b->openMode, 0u);
    EXPECT_EQ(b->source, nullptr);  // reset: closed and freed
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(window->action(cmd::kRecoveryToolbar)->isEnabled());

    // A file that is not a data file fails with its reason in the status line.
    const fs::path junk = dir.path() / "junk.pst";
    std::ofstream(junk) << std::string(70000, 'j');
    window->addFiles({QString::fromStdString(junk.string())}, true);
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    EXPECT_TRUE(window->statusText().startsWith("Could not recover junk.pst: "))
        << window->statusText().toStdString();
}

TEST_F(WindowFixture, LayoutIsSavedOnCloseAndRestored) {
    test::waitUntil([] { return false; }, 50);
    window->workSplitter()->setSizes({333, 667});
    window->rightPane()->splitter()->setSizes({250, 350});
    const int work = window->workSplitter()->sizes().front();
    const int right = window->rightPane()->splitter()->sizes().front();
    window->close();
    EXPECT_EQ(store.userWords["WorkWndSplit"], static_cast<std::uint32_t>(work));
    EXPECT_EQ(store.userWords["RightWndSplit"], static_cast<std::uint32_t>(right));
    EXPECT_EQ(store.userWords["MainWindowD"], 0u);
    ASSERT_EQ(store.userBytes["MainWindowC"].size(), 16u);

    MainWindow again(*state, &store);
    again.showWithLayout();
    test::waitUntil([] { return false; }, 50);
    EXPECT_EQ(again.workSplitter()->sizes().front(), work);
    EXPECT_EQ(again.rightPane()->splitter()->sizes().front(), right);
    EXPECT_EQ(again.size(), window->size());
    again.close();
}

TEST(QtSettingsStoreTest, ReadsMachineThenUserAndWritesTheUserScope) {
    test::TempDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       QString::fromStdString((dir.path() / "system").string()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((dir.path() / "user").string()));
    {
        QSettings system(QSettings::SystemScope, kSettingsOrganisation, kProductName);
        system.setValue(QStringLiteral("00000258/options"), 3);
    }
    platform::QtSettingsStore store;
    AppEnvironment env;
    env.settings = &store;
    env.localDataFolder = (dir.path() / "data").string();
    AppState state(env);
    EXPECT_EQ(state.openDefaultOutlookFiles, 0);
    EXPECT_EQ(state.showKind2Bases, 1);

    // Confirming the Options dialog with the box ticked stores 7 for this user.
    OptionsDialog dialog(false);
    dialog.checkBox()->setChecked(true);
    state.openDefaultOutlookFiles = dialog.openDefaultFiles();
    ASSERT_TRUE(writeOptions(state, &store));
    EXPECT_EQ(store.readWord(SettingsScope::User, "options"), 7u);
    EXPECT_EQ(store.readWord(SettingsScope::System, "options"), 3u);
    store.writeBytes("MainWindowE", encodeRect(WindowRect{1, 2, 300, 400}));
    EXPECT_EQ(store.readBytes(SettingsScope::User, "MainWindowE")->size(), 16u);
    store.remove("MainWindowE");
    EXPECT_FALSE(store.readBytes(SettingsScope::User, "MainWindowE"));
}

TEST_F(WindowFixture, RecoversACorpusFile) {
    BREVIK_REQUIRE_CORPUS();
    const std::string file = test::corpusPath("pst/sample1.pst");
    if (!fs::exists(file)) GTEST_SKIP() << file;
    ASSERT_EQ(window->addFiles({QString::fromStdString(file)}, true), 1);
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    EXPECT_EQ(state->base(0)->resultOk, 1);
    window->tree()->expandAll();
    test::screenshot(window.get(), QStringLiteral("main-window-corpus"));
}

}  // namespace
}  // namespace brevik::app

namespace brevik::app {
namespace {

TEST_F(WindowFixture, SavesAsPstAndOffersTheModesThatFit) {
    const std::string sample = (dir.path() / "Mail.pst").string();
    test::writeSample(sample, 10, 2, 1);
    ASSERT_EQ(window->addFiles({QString::fromStdString(sample)}, true), 1);
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    std::ofstream(fs::path(state->tempFolder) / "_stale") << "x";

    const fs::path out = dir.path() / "out";
    window->startSave(TaskCode::SaveAllAsPst, out.string());
    EXPECT_FALSE(fs::exists(fs::path(state->tempFolder) / "_stale"));
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    const std::string pst = (out / "Mail_recovered_by_Brevik.pst").string();
    EXPECT_TRUE(fs::exists(pst));
    EXPECT_EQ(window->statusText().toStdString(),
              "Save OK. " + std::to_string(state->lastSave.items) + " items saved to " + pst);
    // A second save into the same folder says where it really went, with a way there.
    window->startSave(TaskCode::SaveAllAsEml, out.string());
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    window->startSave(TaskCode::SaveAllAsEml, out.string());
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    const fs::path second = out / "Recovered_Mail_as_eml_by_Brevik (2)";
    int emls = 0;
    for (const auto& e : fs::recursive_directory_iterator(second))
        emls += e.path().extension() == ".eml";
    EXPECT_GE(emls, 8);
    EXPECT_EQ(window->statusText().toStdString(),
              "Save OK. " + std::to_string(emls) + " items saved to " + second.string());
    test::screenshot(window.get(), QStringLiteral("main-window-saved"));
    QUrl shown;
    window->setUrlOpener([&](const QUrl& url) {
        shown = url;
        return true;
    });
    ASSERT_TRUE(window->openFolderButton()->isVisible());
    window->openFolderButton()->click();
    EXPECT_EQ(shown.toLocalFile().toStdString(), second.string());
    // The sample's contacts as a .vcf, from the same window.
    window->startSave(TaskCode::SaveAllAsVcf, out.string());
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    EXPECT_TRUE(state->lastSave.ok) << state->lastSave.message;
    int cards = 0;
    for (const auto& e : fs::recursive_directory_iterator(out / "Recovered_Mail_as_vcf_by_Brevik"))
        cards += e.path().extension() == ".vcf";
    EXPECT_EQ(cards, 1);
    // Another selection: the status bar speaks of it, no longer of the save.
    window->tree()->setCurrentIndex(window->tree()->model().rootIndex());
    EXPECT_EQ(window->statusText(), "Ready");
    EXPECT_FALSE(window->openFolderButton()->isVisible());

    // Nothing selected in the list: only the save-all modes are offered.
    SaveAsDialog dialog(TaskCode::SaveSelectedAsMsg, false);
    EXPECT_EQ(dialog.mode(), TaskCode::SaveAllAsPst);
    EXPECT_FALSE(dialog.button(TaskCode::SaveSelectedAsPst)->isEnabled());
    dialog.button(TaskCode::SaveAllAsEml)->setChecked(true);
    EXPECT_EQ(dialog.mode(), TaskCode::SaveAllAsEml);
    EXPECT_TRUE(savePrompt(TaskCode::SaveAllAsMsg, "Mail.pst")
                    .contains("in:   Recovered_Mail_as_msg_by_Brevik"));
    test::screenshot(&dialog, QStringLiteral("save-as-dialog"));
}

}  // namespace
}  // namespace brevik::app

namespace brevik::app {
namespace {

TEST_F(WindowFixture, AStoppedSaveSaysHowManyFilesItLeftAndMayRemoveThem) {
    const std::string path = (dir.path() / "slow.pst").string();
    test::writeSample(path, 300, 4, 1);
    RecoveredBase* b = state->addBase(dir.path().string(), "slow.pst");
    window->tree()->buildTree();
    window->tree()->selectBase(0);
    window->startRecovery();
    ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    b->attachSource(test::slowSource(test::readWholeFile(path), 300us));
    const fs::path out = dir.path() / "out";
    const fs::path made = out / "Recovered_slow_as_eml_by_Brevik";
    auto files = [&] {
        std::uint64_t n = 0;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(made, ec), end; !ec && it != end; ++it)
            n += it->path().extension() == ".eml";
        return n;
    };
    for (bool remove : {false, true}) {
        platform::RecordingPrompter answer(remove);
        platform::Prompter::install(&answer);
        window->startSave(TaskCode::SaveAllAsEml, out.string());
        ASSERT_TRUE(test::waitUntil([&] { return files() >= 5; }, 10000));
        window->stopTask();
        ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
        ASSERT_EQ(answer.messages.size(), 1u);
        if (!remove) {
            // The count said is the count on disk.
            EXPECT_TRUE(state->lastSave.canceled);
            EXPECT_EQ(files(), state->lastSave.items);
            EXPECT_TRUE(window->statusText().startsWith(
                QString("Canceled by user. %1 items had been saved to ").arg(files())))
                << window->statusText().toStdString();
            fs::rename(made, out / "kept");
        } else {
            EXPECT_FALSE(fs::exists(made));
            EXPECT_EQ(window->statusText(),
                      "Canceled by user. The files saved so far were removed.");
        }
    }
    platform::Prompter::install(&prompter);
}

}  // namespace
}  // namespace brevik::app

namespace brevik::app {
namespace {

// A file whose Inbox holds one mail per subject, from `sender`.
void writeMails(const std::string& file, const std::string& sender,
                const std::vector<std::string>& subjects) {
    pst::WriteStatus status;
    auto writer = pst::PstWriter::create(file, {}, status);
    ASSERT_TRUE(writer) << status.message;
    const auto inbox = writer->addFolder(pst::kTopOfPersonalFolders, {"Inbox", "IPF.Note", {}, {}});
    ASSERT_TRUE(inbox);
    for (const std::string& subject : subjects) {
        pst::Item item;
        item.properties = {pst::unicodeProperty(0x001A, "IPM.Note"),
                           pst::unicodeProperty(0x0037, subject),
                           pst::unicodeProperty(0x0042, sender),
                           pst::unicodeProperty(0x1000, "Body of " + subject)};
        ASSERT_TRUE(writer->addItem(*inbox, item));
    }
    ASSERT_TRUE(writer->finish());
}

TEST_F(WindowFixture, SearchFindsAccentedTextInEveryFileAndShowsItInPlace) {
    const std::string first = (dir.path() / "first.pst").string();
    const std::string second = (dir.path() / "second.pst").string();
    writeMails(first, "Ann", {"Budget", "Trip to Z\xC3\xBCrich", "Lunch"});
    writeMails(second, "Zo\xC3\xAB ZURICH", {"Hello", "Plans"});
    for (const std::string& f : {first, second}) {
        ASSERT_EQ(window->addFiles({QString::fromStdString(f)}, true), 1);
        ASSERT_TRUE(test::waitUntil([&] { return idle(); }));
    }
    window->action(cmd::kSearchAll)->trigger();
    views::SearchWindow* search = window->searchWindow();
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(window->action(cmd::kSearchAll)->shortcut().toString(), "Ctrl+Shift+F");
    search->search("zurich");
    ASSERT_TRUE(test::waitUntil([&] { return !search->running(); }));
    ASSERT_EQ(search->results().rowCount(), 3);  // a subject here, a sender twice there
    auto cell = [&](int row, int column) {
        return search->results().data(search->results().index(row, column)).toString();
    };
    EXPECT_EQ(cell(0, 0), "first.pst");
    EXPECT_EQ(cell(0, 1), "Inbox");
    EXPECT_EQ(cell(0, 3), "Trip to Z\u00FCrich");
    EXPECT_EQ(cell(1, 0), "second.pst");
    test::screenshot(search, QStringLiteral("search-window"));
    // Bodies only when asked.
    search->queryBox()->setText("body of lunch");
    search->search(search->queryBox()->text());
    ASSERT_TRUE(test::waitUntil([&] { return !search->running(); }));
    EXPECT_EQ(search->results().rowCount(), 0);
    search->bodiesBox()->setChecked(true);
    ASSERT_TRUE(test::waitUntil([&] { return !search->running(); }));
    EXPECT_EQ(search->results().rowCount(), 1);

    // A result opens where it lives: its file's folder, the item current in the list.
    const views::SearchHit hit = search->results().hit(0);
    Q_EMIT search->openRequested(hit.base, hit.item);
    EXPECT_EQ(state->selectedBase, hit.base);
    EXPECT_EQ(state->viewOf(*state->base(hit.base)).currentItem, hit.item);
    EXPECT_EQ(window->rightPane()->preview()->subject(), "Lunch");
}

}  // namespace
}  // namespace brevik::app
