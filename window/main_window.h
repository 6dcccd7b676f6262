// The main window: menus, toolbar and status bar around the tree and the right pane; starts
// tasks on the worker, shows their progress and handles their end.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>

#include "app/app_state.h"
#include "app/settings.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSplitter;

namespace brevik::views {
class TreePane;
class RightPane;
class SearchWindow;
}  // namespace brevik::views

namespace brevik::app {

class QueuedTaskEvents;

class MainWindow final : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow(AppState& state, SettingsStore* settings, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Adds data files as if a search had found them; the first is selected and, when asked,
    // recovered at once. Returns how many of the paths were usable data files.
    int addFiles(const QStringList& paths, bool recoverFirst);
    // Applies the saved layout and shows the window (maximised when it was closed so).
    void showWithLayout();

    void startRecovery();
    // The Recovery command: asks first when the file is recovered already.
    void confirmRecovery();
    void startSave(TaskCode code, const std::string& folder);
    void stopTask();
    void startSearch(TaskCode code, const std::string& paths);

    QAction* action(int id) const;
    // The search over every recovered file (Ctrl+Shift+F).
    void showSearch();
    views::SearchWindow* searchWindow() const { return searchWindow_; }
    // Selects the folder that holds an item and the item in its list; false when not shown.
    bool showItemInPlace(std::int32_t base, std::uint32_t item);
    views::TreePane* tree() const { return tree_; }
    views::RightPane* rightPane() const { return right_; }
    QSplitter* workSplitter() const { return work_; }
    QString statusText() const;
    QString summaryText() const;
    // The progress bar's position while a recovery or save runs; -1 when none is shown.
    int progressValue() const;
    // The button that opens the folder of the last save; shown after a save.
    QPushButton* openFolderButton() const { return openFolderButton_; }
    // How folders are handed to the desktop (tests replace it).
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { opener_ = std::move(opener); }

  Q_SIGNALS:
    // A task has ended and its handler has run.
    void taskFinished(bool ok);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    friend class QueuedTaskEvents;
    void onTaskEnded(TaskCode code, bool ok);
    void onTaskSucceeded(TaskCode code);
    void onTaskFailed(TaskCode code);
    void onProgressTimer();
    void onSelectionChanged();
    void updateSummary();
    QString savedText(const SaveOutcome& saved) const;
    QString stoppedSaveText(const SaveOutcome& saved);
    void offerOpenFolder(const SaveOutcome& saved);
    void openSavedFolder();
    void applyCommandStates();
    void setStatus(const QString& text);
    void showProgressBar(const QString& label, int maximum);
    void hideProgressBar();
    void createActions();
    void createMenus();
    void createToolBar();
    void restoreLayout();
    void placeSplitters();
    void restoreColumns();
    void saveColumns();
    int treeFitWidth() const;
    // Widens the tree to its names after it grew, unless the user sized it.
    void widenTreeToFit();
    WindowLayout currentLayout() const;
    void updateTitle();
    void showHelp();
    void showOptions();
    void showReport();
    void showAbout();
    void saveAs();
    void copyForBackup();
    void addByPicking();
    QString defaultOutlookFolder() const;
    void removeSelected();

    AppState& state_;
    SettingsStore* settings_;
    std::shared_ptr<QueuedTaskEvents> events_;
    views::TreePane* tree_ = nullptr;
    views::RightPane* right_ = nullptr;
    QSplitter* work_ = nullptr;
    QLabel* status_ = nullptr;
    QString statusFull_;  // what status_ shows, before eliding to its width
    void elideStatus();
    QLabel* summary_ = nullptr;  // what the selected file holds
    QPushButton* openFolderButton_ = nullptr;
    QString openFolderPath_;
    std::function<bool(const QUrl&)> opener_;
    QProgressBar* progressBar_ = nullptr;
    QTimer progressTimer_;
    int milestoneCursor_ = 76;
    bool progressShown_ = false;
    bool wasMaximised_ = false;
    bool treeSizedByUser_ = false;
    QRect normalBeforeMaximise_;
    std::map<int, QAction*> actions_;
    QWidget* helpWindow_ = nullptr;
    views::SearchWindow* searchWindow_ = nullptr;
};

}  // namespace brevik::app
