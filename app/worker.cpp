#include "app/worker.h"

#include <string_view>

#include "app/file_search.h"
#include "app/save_task.h"
#include "app/task_events.h"
#include "recovery/recovery_pass.h"

namespace brevik::app {

namespace {

// Splits the semicolon-separated path list, skipping empty entries, and drops one trailing
// separator of each path (but keeps a lone "/").
std::vector<std::string> searchList(std::string_view list) {
    std::vector<std::string> paths;
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t end = list.find(';', pos);
        if (end == std::string_view::npos) end = list.size();
        std::string path(list.substr(pos, end - pos));
        if (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
        if (!path.empty()) paths.push_back(std::move(path));
        pos = end + 1;
    }
    return paths;
}

}  // namespace

void runTask(AppState& state) {
    bool ok = true;
    const TaskCode code = state.taskCode;
    TaskEvents* events = state.events.get();
    state.taskMessage.clear();
    state.taskCanceled = false;
    RecoveredBase* base = state.base(state.taskBase);
    if (code == TaskCode::Recover && base) {
        base->resultOk = 0;
        base->itemCount = 0;
        base->progress = &state.progress;
        openMessageBase(*base);
        base->progress = nullptr;
        ok = base->resultOk != 0;
    } else if (isSearchTask(code)) {
        for (const std::string& path : searchList(state.statusText))
            searchPath(state, path, events);
        ok = state.searchResult.load() != 0;
    } else if (code == TaskCode::CopyForBackup) {
        state.taskMessage = copyForBackup(state.copyPlan, state.stopEvent.flag(), [events](int p) {
            if (events) events->saveProgress(p);
        });
        ok = state.taskMessage.empty();
    } else if (isSaveTask(code) && base) {
        state.lastSave = runSaveTask(state, *base, events);
        state.taskMessage = state.lastSave.message;
        state.taskCanceled = state.lastSave.canceled;
        ok = state.lastSave.ok;
    } else {
        ok = false;
    }
    if (!state.quitEvent.isSet() && events) events->taskEnded(code, ok);
    state.doneEvent.set();
}

void startTask(AppState& state, TaskCode code, std::int32_t baseIndex) {
    if (state.worker.joinable()) state.worker.join();
    state.taskCode = code;
    state.taskBase = baseIndex;
    if (isSearchTask(code)) state.searchResult = 1;
    if (RecoveredBase* b = state.base(baseIndex); b && code == TaskCode::Recover) {
        // Reset here, not on the worker: a Stop pressed at once must not be wiped out.
        if (b->openMode) state.resetBase(baseIndex);
        b->stopRequested = false;
    }
    state.stopEvent.reset();
    state.doneEvent.reset();
    state.quitEvent.reset();
    state.worker = std::thread(runTask, std::ref(state));
    state.busy = 1;
}

void stopTask(AppState& state) {
    state.stopEvent.set();
    // A save watches the stop event itself; the base stays readable for the views.
    if (state.taskCode == TaskCode::Recover)
        if (RecoveredBase* b = state.base(state.taskBase)) b->requestStop();
}

}  // namespace brevik::app
