#include "app/app_state.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "app/default_files.h"
#include "app/settings.h"
#include "app/task_events.h"
#include "app/temp_files.h"
#include "engine/native_files.h"
#include "message/item_summary.h"

namespace brevik::app {

namespace {

std::string lowerCase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

AppState::AppState(const AppEnvironment& env) : environment(env) {
    readSettings(*this, env);
    const std::string home = native::homeFolder();
    backupFolder = !env.documentsFolder.empty() ? env.documentsFolder : home;
    saveFolder = backupFolder;
    if (makePath(tempFolder) == -1)
        throw std::runtime_error("Creating TempDir(" + tempFolder + ")");
    if (openDefaultOutlookFiles) addDefaultOutlookFiles(*this, env.localDataFolder);
    cleanTempFolder(tempFolder, true, true);
}

AppState::~AppState() {
    if (!doneEvent.isSet()) {
        quitEvent.set();
        stopEvent.set();
        if (RecoveredBase* b = base(taskBase)) b->requestStop();
        if (!doneEvent.wait(kShutdownWait)) {
            // The worker still uses the bases, the events and the progress slots: end the
            // process here rather than free them under it.
            cleanTempFolder(tempFolder, true, true);
            std::_Exit(0);
        }
    }
    if (worker.joinable()) worker.join();
    cleanTempFolder(tempFolder, true, true);
    std::error_code ec;
    if (!tempFolder.empty()) std::filesystem::remove_all(tempFolder + "/" + kOpenedFolder, ec);
    selectedItems.clear();
}

RecoveredBase* AppState::addBase(const std::string& folder, const std::string& name,
                                 std::int16_t kind) {
    if (messageBases.size() >= kMaxBases) return nullptr;
    // One entry per file: by name (in any case), and by identity, which links and other
    // spellings of the same path share.
    const std::string byName = lowerCase(folder) + '\0' + lowerCase(name);
    const std::string identity = native::fileIdentity(folder + "/" + name);
    const std::string byId = identity.empty() ? std::string() : "\1" + identity;
    if (baseKeys_.count(byName) || (!byId.empty() && baseKeys_.count(byId))) return nullptr;
    baseKeys_.insert(byName);
    if (!byId.empty()) baseKeys_.insert(byId);
    auto record = std::make_unique<RecoveredBase>();
    setMessageBasePath(*record, folder + "/" + name);
    record->baseIndex = static_cast<std::uint32_t>(messageBases.size());
    record->baseKind = kind;
    messageBases.push_back(std::move(record));
    baseViews.emplace_back();
    return messageBases.back().get();
}

void AppState::resetBase(std::int32_t index) {
    if (RecoveredBase* b = base(index)) {
        b->reset();
        viewOf(*b).currentItem = kNoItem;
    }
}

std::vector<CommandState> updateCommandStates(const AppState& state) {
    const bool idle = !state.busy;
    return {
        {cmd::kAddToolbar, state.canAdd && idle},
        {cmd::kAddMenu, state.canAdd && idle},
        {cmd::kRemoveToolbar, state.canRemove && idle},
        {cmd::kRemoveMenu, state.canRemove && idle},
        {cmd::kCopyForBackup, state.canCopy && idle},
        {cmd::kRecoveryToolbar, state.canRecover && idle},
        {cmd::kRecoveryMenu, state.canRecover && idle},
        {cmd::kSaveAs, state.canSave && idle},
        {cmd::kStopToolbar, !idle},
        {cmd::kStopMenu, !idle},
    };
}

int makePath(const std::string& path) {
    if (path.empty()) return -1;
    return native::makeFolders(path).failed() ? -1 : 0;
}

}  // namespace brevik::app
