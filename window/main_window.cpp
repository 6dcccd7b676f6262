#include "window/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "app/temp_files.h"
#include "app/worker.h"
#include "platform/prompter.h"
#include "views/add_bases_dialog.h"
#include "views/item_list_pane.h"
#include "views/right_pane.h"
#include "views/search_window.h"
#include "views/tree_pane.h"
#include "window/about_dialog.h"
#include "window/folder_prompt_dialog.h"
#include "window/help_window.h"
#include "window/options_dialog.h"
#include "window/queued_task_events.h"
#include "window/report_dialog.h"
#include "window/save_as_dialog.h"
#include "writers/pst/save_task.h"

namespace brevik::app {

namespace {

constexpr int kProgressPeriodMs = 251;
constexpr int kFirstShownSlot = 76;
constexpr int kLastSlot = 3529;
constexpr int kSlotOffset = 74;
constexpr int kRecoveryRange = 1500;

const char* const kAccessFailure =
    "Brevik is unable to access the file %1. If Outlook is running and using this file, close "
    "Outlook and try to recover the file once again.\nIf you need Outlook running, you may "
    "either:\nClose the file in Outlook and open it again when recovery is done,\nor \n1. Close "
    "Outlook.\n2. Copy the file using Copy the original Outlook data file for backup to... in "
    "the context menu. Your may start Outlook when file copying is finished.\n3. Open the copy "
    "of the file and recover data from the file copy.\n";

bool isDataFile(const QString& path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    return info.isFile() && (suffix == QLatin1String("pst") || suffix == QLatin1String("ost"));
}

}  // namespace

MainWindow::MainWindow(AppState& state, SettingsStore* settings, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      settings_(settings),
      opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setWindowTitle(QString::fromLatin1(kProductName));
    setWindowIcon(QIcon(QStringLiteral(":/resources/icons/brevik.svg")));
    setAcceptDrops(true);
    events_ = std::make_shared<QueuedTaskEvents>(this);
    state_.events = events_;

    createActions();
    createMenus();
    createToolBar();

    status_ = new QLabel;
    status_->installEventFilter(this);  // re-elided when its width changes
    status_->setMinimumWidth(10);
    // The status takes the room the summary leaves; a long save path is cut in its middle.
    statusBar()->addWidget(status_, 1);
    setStatus(tr("Ready"));
    summary_ = new QLabel;
    statusBar()->addPermanentWidget(summary_);
    openFolderButton_ = new QPushButton(tr("Open Folder"));
    openFolderButton_->setFlat(true);
    openFolderButton_->hide();
    statusBar()->addPermanentWidget(openFolderButton_);
    connect(openFolderButton_, &QPushButton::clicked, this, &MainWindow::openSavedFolder);

    work_ = new QSplitter(Qt::Horizontal, this);
    tree_ = new views::TreePane(state_, work_);
    right_ = new views::RightPane(state_, work_);
    work_->setStretchFactor(1, 1);
    work_->setChildrenCollapsible(false);
    connect(work_, &QSplitter::splitterMoved, this, [this] { treeSizedByUser_ = true; });
    setCentralWidget(work_);
    right_->listWidget()->addAction(action(cmd::kOpenItem));
    // Delete removes a file from the tree only where the tree has the keyboard: in the list
    // it would look like deleting an item.
    tree_->addAction(action(cmd::kRemoveMenu));
    restoreColumns();
    connect(right_->itemList()->view()->selectionModel(), &QItemSelectionModel::selectionChanged,
            this, &MainWindow::updateSummary);
    setTabOrder(tree_, right_->listWidget());
    setTabOrder(right_->listWidget(), right_->previewWidget());

    QMenu* context = new QMenu(tree_);
    for (int id :
         {cmd::kRecoveryMenu, cmd::kSaveAs, cmd::kAddMenu, cmd::kRemoveMenu, cmd::kCopyForBackup})
        context->addAction(action(id));
    tree_->setContextMenu(context);
    connect(tree_, &views::TreePane::selectionMoved, this, &MainWindow::onSelectionChanged);
    connect(tree_, &views::TreePane::startRecoveryRequested, this, &MainWindow::startRecovery);

    progressTimer_.setInterval(kProgressPeriodMs);
    connect(&progressTimer_, &QTimer::timeout, this, &MainWindow::onProgressTimer);

    resize(1100, 720);
    applyCommandStates();
    tree_->setFocus();
}

MainWindow::~MainWindow() {
    // From here on the worker reports nowhere; the state waits for it at exit.
    events_->detach();
}

QAction* MainWindow::action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == status_ && e->type() == QEvent::Resize) elideStatus();
    return QMainWindow::eventFilter(watched, e);
}

bool MainWindow::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        // Prompts follow the pointer over the bars unless a task shows its progress there.
        if (!progressShown_) {
            const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
            setStatus(tip.isEmpty() ? tr("Ready") : tip);
        }
        return true;
    }
    return QMainWindow::event(e);
}

void MainWindow::applyCommandStates() {
    for (const CommandState& c : updateCommandStates(state_))
        if (QAction* a = action(c.id)) a->setEnabled(c.enabled);
    action(cmd::kOptions)->setEnabled(!state_.busy);
    const RecoveredBase* b = state_.selected();
    action(cmd::kRecoveryReport)->setEnabled(!state_.busy && b && b->openMode);
    for (int id : {cmd::kOpenItem, cmd::kViewSource})
        action(id)->setEnabled(!state_.busy);
}

void MainWindow::setStatus(const QString& text) {
    statusFull_ = text;
    status_->setToolTip(text);
    elideStatus();
}
void MainWindow::elideStatus() {
    status_->setText(status_->fontMetrics().elidedText(statusFull_, Qt::ElideMiddle,
                                                       std::max(status_->width(), 120)));
}
QString MainWindow::statusText() const {
    return statusFull_;
}
QString MainWindow::summaryText() const {
    return summary_->text();
}
int MainWindow::progressValue() const {
    return progressBar_ ? progressBar_->value() : -1;
}

void MainWindow::updateTitle() {
    const RecoveredBase* b = state_.selected();
    const QString product = QString::fromLatin1(kProductName);
    setWindowTitle(b ? QStringLiteral("%1 - %2").arg(QString::fromStdString(b->fileName), product)
                     : product);
}

void MainWindow::onSelectionChanged() {
    applyCommandStates();
    updateTitle();
    right_->showSelectionPage();
    // The status bar speaks of what is selected now, not of the last task.
    if (!state_.busy && !progressShown_) setStatus(tr("Ready"));
    openFolderButton_->hide();
    updateSummary();
}

void MainWindow::showProgressBar(const QString& label, int maximum) {
    hideProgressBar();
    setStatus(label);
    progressBar_ = new QProgressBar;
    progressBar_->setRange(0, maximum);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setMaximumHeight(status_->sizeHint().height());
    statusBar()->addWidget(progressBar_, 1);
    progressShown_ = true;
}

void MainWindow::hideProgressBar() {
    if (progressBar_) {
        // Removing a widget from the status bar hides its neighbours as well (Qt 6.4): keep them
        // as they were.
        const bool summary = !summary_->isHidden(), button = !openFolderButton_->isHidden();
        statusBar()->removeWidget(progressBar_);
        summary_->setVisible(summary);
        openFolderButton_->setVisible(button);
        delete progressBar_;
        progressBar_ = nullptr;
    }
}

void MainWindow::confirmRecovery() {
    const RecoveredBase* b = state_.selected();
    if (state_.busy || !b) return;
    // A second run throws the first one's results away, and a stop then leaves nothing.
    if (b->openMode &&
        !platform::Prompter::current().ask(
            this, tr("%1 is recovered already. Recover it again?\n\nWhat is shown now is "
                     "closed while it runs, and stopping the new run leaves the file "
                     "unrecovered.")
                      .arg(QString::fromStdString(b->fileName))))
        return;
    startRecovery();
}

void MainWindow::startRecovery() {
    if (state_.busy || state_.selectedBase >= kNoBase) return;
    RecoveredBase* b = state_.selected();
    if (!b) return;
    const std::int32_t index = state_.selectedBase;
    progressTimer_.start();
    showProgressBar(tr("Recovering of %1 :").arg(QString::fromStdString(b->fileName)),
                    kRecoveryRange);
    milestoneCursor_ = kFirstShownSlot;
    state_.progress.clear();
    if (b->openMode) tree_->clearFolderNodes(index);
    startTask(state_, TaskCode::Recover, index);
    applyCommandStates();
    right_->showSelectionPage();
}

void MainWindow::startSave(TaskCode code, const std::string& folder) {
    RecoveredBase* b = state_.selected();
    if (state_.busy || !b || !isSaveTask(code)) return;
    cleanTempFolder(state_.tempFolder, false, true);
    state_.saveFolder = folder;
    if (code == TaskCode::SaveSelectedAsPst || code == TaskCode::SaveSelectedAsMsg ||
        code == TaskCode::SaveSelectedAsEml) {
        state_.selectedItems = right_->selectedItems();
        if (state_.selectedItems.empty()) {
            setStatus(tr("Select the items to save in the list first."));
            return;
        }
    }
    showProgressBar(tr("Saving %1 :").arg(QString::fromStdString(b->fileName)), 100);
    startTask(state_, code, state_.selectedBase);
    applyCommandStates();
}

void MainWindow::startSearch(TaskCode code, const std::string& paths) {
    if (state_.busy || !isSearchTask(code)) return;
    state_.statusText = paths;
    progressShown_ = true;
    setStatus(tr("Searching..."));
    startTask(state_, code, state_.selectedBase);
    applyCommandStates();
}

void MainWindow::stopTask() {
    if (!state_.busy) return;
    app::stopTask(state_);
    setStatus(tr("Please wait,stopping..."));
}

void MainWindow::onProgressTimer() {
    if (!progressShown_ || !progressBar_ || state_.taskCode != TaskCode::Recover) return;
    for (int slot = milestoneCursor_; slot < kLastSlot; ++slot) {
        if (state_.progress.value(slot) > ProgressMilestones::kMarkFloor) {
            progressBar_->setValue(std::min(slot - kSlotOffset, kRecoveryRange));
            milestoneCursor_ = slot;
        }
    }
}

void MainWindow::onTaskEnded(TaskCode code, bool ok) {
    if (state_.worker.joinable()) state_.worker.join();
    if (ok)
        onTaskSucceeded(code);
    else
        onTaskFailed(code);
    Q_EMIT taskFinished(ok);
}

void MainWindow::onTaskSucceeded(TaskCode code) {
    RecoveredBase* b = state_.base(state_.taskBase);
    bool showFirstFolder = false;
    if (code == TaskCode::Recover && b) {
        b->openMode = 1;
        tree_->insertFolderSubtree(state_.taskBase);
        if (state_.taskBase == state_.selectedBase) state_.canSave = b->itemCount != 0;
        // The top folder seldom holds items itself: open the first folder that does, so that
        // the user sees what was found at once.
        const std::uint32_t top = state_.selectedFolderId;
        showFirstFolder = state_.taskBase == state_.selectedBase && top < b->folderEntries.size() &&
                          b->folderEntries[top].endItem == b->folderEntries[top].firstItem;
    }
    if (isSearchTask(code)) tree_->buildTree();
    if (code == TaskCode::Recover || isSearchTask(code)) widenTreeToFit();
    state_.busy = 0;
    applyCommandStates();
    progressShown_ = false;
    QString text = tr("Ready");
    if (code == TaskCode::Recover) {
        const QModelIndex first = tree_->model().firstFolderWithItems(state_.taskBase);
        if (showFirstFolder && first.isValid())
            tree_->setCurrentIndex(first);  // runs the selection handling
        else
            onSelectionChanged();
        hideProgressBar();
    } else if (isSaveTask(code)) {
        hideProgressBar();
        const SaveOutcome& saved = state_.lastSave;
        text = savedText(saved);
        offerOpenFolder(saved);
    } else if (code == TaskCode::CopyForBackup) {
        hideProgressBar();
        text = tr("Copied to %1").arg(QString::fromStdString(state_.copyPlan.destination));
    }
    setStatus(text);
    progressTimer_.stop();
}

void MainWindow::onTaskFailed(TaskCode code) {
    state_.busy = 0;
    applyCommandStates();
    RecoveredBase* b = state_.base(state_.taskBase);
    QString text = tr("Ready");
    if (code == TaskCode::Recover && b) {
        const bool stopped = state_.stopEvent.isSet();
        const QString path = QString::fromStdString(b->workPath);
        if (!stopped && b->errorCode == ERROR_FILE_ACCESS) {
            platform::Prompter::current().warn(this, tr(kAccessFailure).arg(path));
        } else if (!stopped) {
            // Say why, so that the user can act on it.
            const QString why = b->errorCode == ERROR_NO_READABLE_BLOCKS
                                    ? tr("no readable data blocks were found")
                                    : QString::fromStdString(b->errorText);
            text =
                tr("Could not recover %1: %2")
                    .arg(QString::fromStdString(b->fileName),
                         why.isEmpty() ? tr("the file is not a readable Outlook data file") : why);
        }
        b->reset();
        tree_->clearFolderNodes(state_.taskBase);
        onSelectionChanged();
        hideProgressBar();
    }
    if (isSearchTask(code)) tree_->buildTree();
    progressShown_ = false;
    if (code == TaskCode::CopyForBackup) {
        hideProgressBar();
        const QString why = QString::fromStdString(state_.taskMessage);
        if (state_.stopEvent.isSet())
            text = tr("Canceled by user");
        else
            platform::Prompter::current().warn(this, tr("Cannot copy pst file\n%1").arg(why));
    }
    if (isSaveTask(code)) {
        hideProgressBar();
        if (state_.taskCanceled)
            text = stoppedSaveText(state_.lastSave);
        else
            text = tr("Save failed: %1")
                       .arg(!state_.taskMessage.empty() ? QString::fromStdString(state_.taskMessage)
                                                        : tr("unknown error"));
    }
    setStatus(text);
    progressTimer_.stop();
}

int MainWindow::addFiles(const QStringList& paths, bool recoverFirst) {
    if (state_.busy) return 0;
    std::int32_t first = -1;
    int usable = 0;
    QStringList skipped;
    for (const QString& p : paths) {
        if (!isDataFile(p)) {
            skipped << p;
            continue;
        }
        const QFileInfo info(p);
        const std::string folder = info.absolutePath().toStdString();
        const std::string name = info.fileName().toStdString();
        state_.addBase(folder, name);
        ++usable;
        // A file already in the list (perhaps removed from the tree) is shown again.
        for (std::size_t i = 0; i < state_.baseCount(); ++i) {
            RecoveredBase& b = *state_.messageBases[i];
            if (b.folderPath == folder && b.fileName == name) {
                state_.viewOf(b).removedFromTree = false;
                if (first < 0) first = static_cast<std::int32_t>(i);
            }
        }
    }
    if (!skipped.isEmpty())
        setStatus(tr("Not an Outlook data file (.pst, .ost): %1")
                      .arg(skipped.join(QStringLiteral(", "))));
    if (usable == 0) return 0;
    tree_->buildTree();
    widenTreeToFit();
    if (first >= 0) {
        tree_->selectBase(first);
        const RecoveredBase* b = state_.base(first);
        if (recoverFirst && b && !b->openMode && state_.selectedBase == first) startRecovery();
    }
    return usable;
}

QString MainWindow::defaultOutlookFolder() const {
    const std::string& data = state_.environment.localDataFolder;
    const QString folder = QString::fromStdString(data + "/Microsoft/Outlook");
    return !data.empty() && QFileInfo(folder).isDir() ? folder : QString();
}

void MainWindow::addByPicking() {
    if (state_.busy) return;
    views::AddBasesDialog dialog(
        views::searchPlaces(views::mountedFileSystems(), QDir::homePath(), defaultOutlookFolder()),
        this);
    if (dialog.exec() != QDialog::Accepted) return;
    using Choice = views::AddBasesDialog::Choice;
    if (dialog.choice() == Choice::AddFiles)
        addFiles(dialog.files(), false);
    else
        startSearch(
            dialog.choice() == Choice::SearchPaths ? TaskCode::SearchPaths : TaskCode::SearchFolder,
            dialog.paths().toStdString());
}

void MainWindow::removeSelected() {
    if (state_.busy || !state_.canRemove) return;
    tree_->removeFromTree();
}

void MainWindow::saveAs() {
    RecoveredBase* b = state_.selected();
    if (state_.busy || !state_.canSave || !b) return;
    const bool selection = !right_->selectedItems().empty();
    TaskCode mode = TaskCode::SaveAllAsPst;
    // Mode, then folder; Back returns to the mode with the last choice kept.
    while (true) {
        SaveAsDialog choose(mode, selection, this);
        if (choose.exec() != QDialog::Accepted) return;
        mode = choose.mode();
        FolderPromptDialog where(FolderPromptDialog::Mode::SaveFolder,
                                 savePrompt(mode, QString::fromStdString(b->fileName)),
                                 QString::fromStdString(state_.saveFolder), this);
        if (where.exec() != QDialog::Accepted) continue;
        if (where.folder().isEmpty()) {
            platform::Prompter::current().warn(this, tr("Choose the folder to save into."));
            continue;
        }
        // A .pst of an earlier save would be replaced whole: only when the user says so.
        const bool pst = mode == TaskCode::SaveAllAsPst || mode == TaskCode::SaveSelectedAsPst;
        const QString target =
            QDir(where.folder())
                .filePath(QString::fromStdString(pst::recoveredPstName(b->fileName)));
        if (pst && QFileInfo::exists(target) &&
            !platform::Prompter::current().ask(this,
                                               tr("%1 exists already. Replace it?").arg(target)))
            continue;
        state_.saveFolder = where.folder().toStdString();
        startSave(mode, state_.saveFolder);
        return;
    }
}

void MainWindow::copyForBackup() {
    RecoveredBase* b = state_.selected();
    if (state_.busy || !state_.canCopy || !b) return;
    FolderPromptDialog dialog(
        FolderPromptDialog::Mode::Copy,
        tr("Copy the original file   %1\nto the folder:").arg(QString::fromStdString(b->fileName)),
        QString::fromStdString(state_.backupFolder), this);
    if (dialog.exec() != QDialog::Accepted) return;
    state_.backupFolder = dialog.folder().toStdString();
    CopyPlan plan = planCopy(b->folderPath + "/" + b->fileName, state_.backupFolder);
    if (!plan.refusal.empty()) {
        platform::Prompter::current().warn(
            this, tr("Cannot copy pst file\n%1").arg(QString::fromStdString(plan.refusal)));
        return;
    }
    if (plan.replaces &&
        !platform::Prompter::current().ask(
            this,
            tr("%1 exists already. Replace it?").arg(QString::fromStdString(plan.destination))))
        return;
    state_.copyPlan = std::move(plan);
    showProgressBar(tr("Copying %1 :").arg(QString::fromStdString(b->fileName)), 100);
    startTask(state_, TaskCode::CopyForBackup, state_.selectedBase);
    applyCommandStates();
}

void MainWindow::showOptions() {
    OptionsDialog dialog(state_.openDefaultOutlookFiles != 0, this);
    if (dialog.exec() != QDialog::Accepted) return;
    state_.openDefaultOutlookFiles = dialog.openDefaultFiles() ? 1 : 0;
    writeOptions(state_, settings_);
}

void MainWindow::showReport() {
    const RecoveredBase* b = state_.selected();
    if (state_.busy || !b || !b->openMode) return;
    ReportDialog dialog(*b, this);
    dialog.exec();
}

void MainWindow::showSearch() {
    if (!searchWindow_) {
        searchWindow_ = new views::SearchWindow(state_, this);
        connect(searchWindow_, &views::SearchWindow::openRequested, this,
                &MainWindow::showItemInPlace);
    }
    searchWindow_->show();
    searchWindow_->raise();
    searchWindow_->activateWindow();
    searchWindow_->queryBox()->setFocus();
    searchWindow_->queryBox()->selectAll();
}

bool MainWindow::showItemInPlace(std::int32_t base, std::uint32_t item) {
    const RecoveredBase* b = state_.base(base);
    if (state_.busy || !b || !b->openMode) return false;
    for (std::uint32_t f = 0; f < b->folderEntries.size(); ++f) {
        const FolderEntry& e = b->folderEntries[f];
        if (item < e.firstItem || item >= e.endItem) continue;
        const QModelIndex at = tree_->model().folderIndex(base, f);
        if (!at.isValid()) return false;
        tree_->setCurrentIndex(at);
        activateWindow();
        raise();
        return right_->itemList()->selectItem(item);
    }
    return false;
}

void MainWindow::showHelp() {
    if (!helpWindow_) helpWindow_ = new HelpWindow(this);
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void MainWindow::showAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    saveLayout(settings_, currentLayout());
    saveColumns();
    if (state_.busy) {
        // The worker reports nothing from now on; the state waits for it at exit.
        state_.quitEvent.set();
        app::stopTask(state_);
    }
    if (helpWindow_) helpWindow_->close();
    e->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (!e->mimeData()->hasUrls() || state_.busy) return;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile() && isDataFile(url.toLocalFile())) {
            e->acceptProposedAction();
            return;
        }
}

void MainWindow::dropEvent(QDropEvent* e) {
    QStringList paths;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    if (addFiles(paths, true) > 0) e->acceptProposedAction();
}

}  // namespace brevik::app
