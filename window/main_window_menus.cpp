// The main window's commands: their texts, pictures and prompts, the slots they trigger, and
// the menus and toolbar that show them.
#include "window/main_window.h"

#include <QAction>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "views/item_list_pane.h"
#include "views/right_pane.h"
#include "views/tree_pane.h"

namespace brevik::app {

namespace {

struct ActionInfo {
    int id;
    const char* text;
    const char* icon;  // toolbar picture, or null
    const char* tip;   // status-line prompt
};

// Menu commands and toolbar buttons; a toolbar button has its own id beside its menu twin.
const ActionInfo kActions[] = {
    {cmd::kAddMenu, "&Add Outlook data files (*.pst) to Tree View...", "add",
     "Find Outlook data files (.pst and .ost) on your disks and add them to the tree"},
    {cmd::kAddToolbar, "Add", "add",
     "Find Outlook data files (.pst and .ost) on your disks and add them"},
    {cmd::kRemoveMenu, "&Remove from Tree View", "remove",
     "Remove the selected data file or folder group from the tree"},
    {cmd::kRemoveToolbar, "Remove", "remove", "Remove the selected item from the tree"},
    {cmd::kCopyForBackup, "&Copy the original Outlook data file for backup to...", nullptr,
     "Copy the selected data file to another folder before recovering it"},
    {cmd::kExit, "E&xit", nullptr, "Quit the program"},
    {cmd::kRecoveryMenu, "&Recovery", "recover",
     "Recover all folders and items of the selected data file"},
    {cmd::kRecoveryToolbar, "Recovery", "recover", "Recover the selected data file"},
    {cmd::kSaveAs, "&Save As...", "save", "Save the recovered items to a new file or folder"},
    {cmd::kStopMenu, "S&top", "stop", "Stop the running task"},
    {cmd::kStopToolbar, "Stop", "stop", "Stop the running task"},
    {cmd::kRecoveryReport, "Recovery &Report...", nullptr,
     "What was damaged in the selected file, what was rebuilt, and where items came from"},
    {cmd::kOptions, "&Options...", nullptr, "Change the start-up options"},
    {cmd::kOpenItem, "&Open Item", nullptr, "Open the current item in your mail program"},
    {cmd::kViewSource, "View &Source", nullptr, "Show the header lines the current item came with"},
    {cmd::kFilterItems, "&Filter Items", nullptr,
     "Narrow the list to items whose From, To or Subject holds a text"},
    {cmd::kSearchAll, "&Search All Files...", nullptr,
     "Find items by sender, recipients, subject or text in every recovered file"},
    {cmd::kViewToolbar, "&Toolbar", nullptr, "Show or hide the toolbar"},
    {cmd::kViewStatusBar, "&Status Bar", nullptr, "Show or hide the status bar"},
    {cmd::kViewSystemFolders, "Show S&ystem Folders", nullptr,
     "Also show the folders Outlook keeps for itself, outside and inside the mailbox"},
    {cmd::kHelpTopics, "&Help Topics", nullptr, "Show the user guide"},
    {cmd::kAbout, "&About Brevik", nullptr, "Program information and version"},
};

}  // namespace

void MainWindow::createActions() {
    for (const ActionInfo& info : kActions) {
        auto* a = new QAction(tr(info.text), this);
        a->setData(info.id);
        a->setStatusTip(tr(info.tip));
        if (info.icon) a->setIcon(QIcon(QStringLiteral(":/resources/icons/%1.svg").arg(info.icon)));
        actions_[info.id] = a;
    }
    auto on = [this](int id, auto slot) { connect(action(id), &QAction::triggered, this, slot); };
    for (int id : {cmd::kAddMenu, cmd::kAddToolbar})
        on(id, &MainWindow::addByPicking);
    for (int id : {cmd::kRemoveMenu, cmd::kRemoveToolbar})
        on(id, &MainWindow::removeSelected);
    for (int id : {cmd::kRecoveryMenu, cmd::kRecoveryToolbar})
        on(id, &MainWindow::confirmRecovery);
    for (int id : {cmd::kStopMenu, cmd::kStopToolbar})
        on(id, &MainWindow::stopTask);
    on(cmd::kSaveAs, &MainWindow::saveAs);
    on(cmd::kCopyForBackup, &MainWindow::copyForBackup);
    on(cmd::kOptions, &MainWindow::showOptions);
    on(cmd::kRecoveryReport, &MainWindow::showReport);
    on(cmd::kHelpTopics, &MainWindow::showHelp);
    on(cmd::kAbout, &MainWindow::showAbout);
    on(cmd::kExit, &QWidget::close);
    on(cmd::kSearchAll, &MainWindow::showSearch);
    connect(action(cmd::kFilterItems), &QAction::triggered, this,
            [this] { right_->itemList()->focusFilter(); });
    connect(action(cmd::kOpenItem), &QAction::triggered, this,
            [this] { right_->itemList()->openSelectedItem(); });
    connect(action(cmd::kViewSource), &QAction::triggered, this,
            [this] { right_->itemList()->viewSource(); });

    // Fixed keys rather than the platform's standard ones, which some platforms leave empty
    // (Save As has none on Linux): the keys the help names work everywhere.
    const std::pair<int, QKeySequence> keys[] = {
        {cmd::kAddMenu, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {cmd::kRemoveMenu, QKeySequence(Qt::Key_Delete)},
        {cmd::kRecoveryMenu, QKeySequence(Qt::Key_F5)},
        {cmd::kSaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        {cmd::kStopMenu, QKeySequence(Qt::Key_Escape)},
        {cmd::kExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {cmd::kHelpTopics, QKeySequence(Qt::Key_F1)},
        {cmd::kFilterItems, QKeySequence(Qt::CTRL | Qt::Key_F)},
        {cmd::kSearchAll, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)},
        {cmd::kOpenItem, QKeySequence(Qt::Key_Return)},
        {cmd::kViewSource, QKeySequence(Qt::CTRL | Qt::Key_U)},
    };
    for (const auto& [id, key] : keys)
        action(id)->setShortcut(key);
    // Enter opens an item only in the list; elsewhere it keeps its own meaning.
    action(cmd::kOpenItem)->setShortcutContext(Qt::WidgetShortcut);
    action(cmd::kRemoveMenu)->setShortcutContext(Qt::WidgetShortcut);
}

void MainWindow::createMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(action(cmd::kAddMenu));
    file->addAction(action(cmd::kRemoveMenu));
    file->addAction(action(cmd::kCopyForBackup));
    file->addSeparator();
    file->addAction(action(cmd::kExit));
    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    tools->addAction(action(cmd::kRecoveryMenu));
    tools->addAction(action(cmd::kSaveAs));
    tools->addAction(action(cmd::kStopMenu));
    tools->addSeparator();
    tools->addAction(action(cmd::kRecoveryReport));
    tools->addAction(action(cmd::kOptions));
    QMenu* items = menuBar()->addMenu(tr("&Items"));
    items->addAction(action(cmd::kOpenItem));
    items->addAction(action(cmd::kViewSource));
    items->addSeparator();
    items->addAction(action(cmd::kFilterItems));
    items->addAction(action(cmd::kSearchAll));
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(action(cmd::kViewToolbar));
    view->addAction(action(cmd::kViewStatusBar));
    view->addSeparator();
    view->addAction(action(cmd::kViewSystemFolders));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(action(cmd::kHelpTopics));
    help->addSeparator();
    help->addAction(action(cmd::kAbout));
    // Window-wide shortcuts also work while the menu bar is hidden.
    for (auto& [id, a] : actions_)
        if (id != cmd::kOpenItem && id != cmd::kRemoveMenu) addAction(a);
}

void MainWindow::createToolBar() {
    QToolBar* bar = addToolBar(tr("Toolbar"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    for (int id : {cmd::kAddToolbar, cmd::kRemoveToolbar, cmd::kSaveAs, cmd::kRecoveryToolbar,
                   cmd::kStopToolbar})
        bar->addAction(action(id));
    QAction* showBar = action(cmd::kViewToolbar);
    showBar->setCheckable(true);
    showBar->setChecked(true);
    connect(showBar, &QAction::toggled, bar, &QToolBar::setVisible);
    QAction* showStatus = action(cmd::kViewStatusBar);
    showStatus->setCheckable(true);
    showStatus->setChecked(true);
    connect(showStatus, &QAction::toggled, statusBar(), &QStatusBar::setVisible);
    QAction* showSystem = action(cmd::kViewSystemFolders);
    showSystem->setCheckable(true);
    showSystem->setChecked(state_.showSystemFolders);
    connect(showSystem, &QAction::toggled, this, [this](bool on) {
        state_.showSystemFolders = on;
        tree_->buildTree();
    });
}

}  // namespace brevik::app
