// The main window's commands: their texts, pictures and prompts, the slots they trigger, and
// the menus and toolbar that show them.
#include "window/main_window.h"

#include <QAction>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

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
     "Find Outlook data files on your disks and add them to the tree"},
    {cmd::kAddToolbar, "Add", "add", "Find Outlook data files on your disks and add them"},
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
    {cmd::kViewToolbar, "&Toolbar", nullptr, "Show or hide the toolbar"},
    {cmd::kViewStatusBar, "&Status Bar", nullptr, "Show or hide the status bar"},
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

    action(cmd::kAddMenu)->setShortcut(QKeySequence::Open);
    action(cmd::kRemoveMenu)->setShortcut(QKeySequence::Delete);
    action(cmd::kRemoveMenu)->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action(cmd::kRecoveryMenu)->setShortcut(Qt::Key_F5);
    action(cmd::kSaveAs)->setShortcut(QKeySequence::SaveAs);
    action(cmd::kStopMenu)->setShortcut(Qt::Key_Escape);
    action(cmd::kExit)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    action(cmd::kHelpTopics)->setShortcut(QKeySequence::HelpContents);
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
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(action(cmd::kViewToolbar));
    view->addAction(action(cmd::kViewStatusBar));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(action(cmd::kHelpTopics));
    help->addSeparator();
    help->addAction(action(cmd::kAbout));
    // Window-wide shortcuts also work while the menu bar is hidden.
    for (auto& [id, a] : actions_)
        addAction(a);
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
}

}  // namespace brevik::app
