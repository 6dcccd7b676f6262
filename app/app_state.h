// The desktop program's single state object: the message bases in the tree, the tree selection,
// the command flags, the current task and its events, the folders in use and the option bits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "app/app_environment.h"
#include "app/backup_copy.h"
#include "app/manual_reset_event.h"
#include "app/save_task.h"
#include "engine/progress.h"
#include "recovery/recovered_base.h"

namespace brevik::app {

inline constexpr const char* kProductName = "Brevik for Outlook Demo";

// `selectedBase` values from here up name tree nodes that are not message bases.
inline constexpr std::int32_t kNoBase = 65435;
inline constexpr std::int32_t kRootValue = 65436;
inline constexpr std::int32_t kDirectoryValue = 65437;
inline constexpr std::size_t kMaxBases = 65435;

enum class TaskCode : std::int32_t {
    None = 0,
    Recover = 1,
    SearchPaths = 3,
    SearchFolder = 4,
    CopyForBackup = 5,
    SaveAllAsPst = 32818,
    SaveAllAsMsg = 32819,
    SaveAllAsEml = 32820,
    SaveSelectedAsMsg = 32821,
    SaveSelectedAsEml = 32822,
    SaveSelectedAsPst = 32823,
    SaveAllAsVcf = 32824,  // contacts and distribution lists, a .vcf per folder
    SaveAllAsIcs = 32825,  // calendars, tasks and journals, an .ics per folder
};

inline bool isSaveTask(TaskCode code) {
    const auto c = static_cast<std::int32_t>(code);
    return c >= 32818 && c <= 32825;
}
inline bool isSearchTask(TaskCode code) {
    return code == TaskCode::SearchPaths || code == TaskCode::SearchFolder;
}

// Command ids of menus, toolbar and context menus.
namespace cmd {
inline constexpr int kCopyForBackup = 32774;
inline constexpr int kStopMenu = 32779;
inline constexpr int kOptions = 32780;
inline constexpr int kHelpTopics = 32782;
inline constexpr int kRemoveMenu = 32790;
inline constexpr int kAddToolbar = 32791;
inline constexpr int kAddMenu = 32793;
inline constexpr int kRecoveryMenu = 32801;
inline constexpr int kHelpTopicsToolbar = 32901;
inline constexpr int kRecoveryReport = 32902;
inline constexpr int kFilterItems = 32903;
inline constexpr int kSearchAll = 32904;
inline constexpr int kOpenItem = 32905;
inline constexpr int kViewSource = 33783;
inline constexpr int kRemoveToolbar = 57346;
inline constexpr int kSaveAs = 57347;
inline constexpr int kRecoveryToolbar = 57348;
inline constexpr int kStopToolbar = 57350;
inline constexpr int kAbout = 57664;
inline constexpr int kExit = 57665;
inline constexpr int kViewToolbar = 59392;
inline constexpr int kViewStatusBar = 59393;
inline constexpr int kViewSystemFolders = 59394;
}  // namespace cmd

// One command id and whether it is enabled.
struct CommandState {
    int id;
    bool enabled;
};

class TaskEvents;

// No item is current in a base's list.
inline constexpr std::uint32_t kNoItem = 2147483647;

// What the desktop shows of one base; kept by the views, never read by the engine.
struct BaseView {
    std::uint32_t currentItem = kNoItem;
    std::uint32_t currentFolderId = 0;
    bool removedFromTree = false;  // the user removed the base's node from the tree
};

class AppState {
  public:
    // Start-up: options, settings and the private temporary folder, the events, the bases of
    // the default Outlook folder (when the option is on), then the leftovers of an earlier run
    // are removed. Throws std::runtime_error when the temporary folder cannot be made.
    explicit AppState(const AppEnvironment& env = {});
    // Stops a running worker (waiting at most `kShutdownWait`), empties the temporary folder
    // and frees the bases.
    virtual ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Message bases in tree order; records never move, so a worker may hold one while the
    // list grows.
    std::vector<std::unique_ptr<RecoveredBase>> messageBases;
    std::deque<BaseView> baseViews;  // one per base, same order; never moves either
    std::int32_t canSave = 0;
    std::int32_t canRecover = 0;
    std::int32_t busy = 0;
    std::int32_t canAdd = 1;
    std::int32_t canRemove = 0;
    std::int32_t canCopy = 0;
    std::string previewFilePath;
    std::int32_t selectedBase = kNoBase;
    std::int32_t taskBase = 0;
    TaskCode taskCode = TaskCode::None;
    std::string backupFolder;
    std::string saveFolder;
    std::string tempFolder;
    std::string installFolder;
    std::uint8_t showKind2Bases = 0;
    // The store's own roots and the folders it hides (search roots, views, sync state) show in
    // the tree too; off by default, a mailbox starts at its top folder.
    bool showSystemFolders = false;
    std::uint8_t showKind3Bases = 0;
    std::uint8_t openDefaultOutlookFiles = 1;
    ManualResetEvent stopEvent;
    ManualResetEvent doneEvent;
    ManualResetEvent quitEvent;
    std::uint32_t selectedFolderId = 0;
    std::vector<std::uint32_t> selectedItems;  // item indexes of a selection save, list order
    std::int32_t searchStatusCounter = 0;
    std::string statusText;  // the search path list before a search task
    std::atomic<std::int32_t> searchResult{1};
    CopyPlan copyPlan;          // what a copy task copies
    std::string taskMessage;    // why the last task failed; read after it reported
    bool taskCanceled = false;  // the last save was stopped by the user
    SaveOutcome lastSave;       // how the last save ended; read after it reported
    ProgressMilestones progress;
    std::shared_ptr<TaskEvents> events;  // where the worker reports; set by the window
    std::thread worker;
    AppEnvironment environment;

    std::size_t baseCount() const { return messageBases.size(); }
    RecoveredBase* base(std::int32_t index) const {
        return index >= 0 && static_cast<std::size_t>(index) < messageBases.size()
                   ? messageBases[static_cast<std::size_t>(index)].get()
                   : nullptr;
    }
    RecoveredBase* selected() const { return base(selectedBase); }
    BaseView& viewOf(const MessageBase& b) { return baseViews[b.baseIndex]; }
    const BaseView& viewOf(const MessageBase& b) const { return baseViews[b.baseIndex]; }
    // Frees what the last recovery of base `index` built; its list then has no current item.
    void resetBase(std::int32_t index);
    // Appends a base for the file `name` in `folder`; null when the same file (names compared
    // without regard to case, or the same device and inode) is already in the list, removed or
    // not, or the list is full.
    RecoveredBase* addBase(const std::string& folder, const std::string& name,
                           std::int16_t kind = 1);

  private:
    std::unordered_set<std::string> baseKeys_;  // folder and name in lower case; file identity
};

inline constexpr std::chrono::milliseconds kShutdownWait{10000};

// The enabled state of every command that the flags govern: each command follows its flag
// while no task runs; Stop is enabled exactly while one runs.
std::vector<CommandState> updateCommandStates(const AppState& state);

// Creates every directory along `path`. 0 when the last directory tried exists afterwards,
// -1 otherwise.
int makePath(const std::string& path);

}  // namespace brevik::app
