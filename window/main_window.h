// The main window: menus, toolbar and status bar around the tree and the right pane; starts
// tasks on the worker, shows their progress and handles their end.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <map>
#include <memory>

#include "app/app_state.h"
#include "app/settings.h"

class QLabel;
class QProgressBar;
class QSplitter;

namespace brevik::views {
class TreePane;
class RightPane;
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
    void startSave(TaskCode code, const std::string& folder);
    void stopTask();
    void startSearch(TaskCode code, const std::string& paths);

    QAction* action(int id) const;
    views::TreePane* tree() const { return tree_; }
    views::RightPane* rightPane() const { return right_; }
    QSplitter* workSplitter() const { return work_; }
    QString statusText() const;
    QString summaryText() const;
    // The progress bar's position while a recovery or save runs; -1 when none is shown.
    int progressValue() const;

  Q_SIGNALS:
    // A task has ended and its handler has run.
    void taskFinished(bool ok);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    friend class QueuedTaskEvents;
    void onTaskEnded(TaskCode code, bool ok);
    void onTaskSucceeded(TaskCode code);
    void onTaskFailed(TaskCode code);
    void onProgressTimer();
    void onSelectionChanged();
    void applyCommandStates();
    void setStatus(const QString& text);
    void showProgressBar(const QString& label, int maximum);
    void hideProgressBar();
    void createActions();
    void createMenus();
    void createToolBar();
    void restoreLayout();
    void placeSplitters();
    WindowLayout currentLayout() const;
    void updateTitle();
    void showHelp();
    void showOptions();
    void showReport();
    void showAbout();
    void saveAs();
    void copyForBackup();
    void addByPicking();
    void removeSelected();

    AppState& state_;
    SettingsStore* settings_;
    std::shared_ptr<QueuedTaskEvents> events_;
    views::TreePane* tree_ = nullptr;
    views::RightPane* right_ = nullptr;
    QSplitter* work_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* summary_ = nullptr;  // what the last recovery found
    QProgressBar* progressBar_ = nullptr;
    QTimer progressTimer_;
    int milestoneCursor_ = 76;
    bool progressShown_ = false;
    bool wasMaximised_ = false;
    QRect normalBeforeMaximise_;
    std::map<int, QAction*> actions_;
    QWidget* helpWindow_ = nullptr;
};

}  // namespace brevik::app
