#include "app/save_task.h"

#include "app/app_state.h"
#include "app/task_events.h"
#include "writers/pst/save_task.h"

namespace brevik::app {

void runSaveTask(AppState& state, MessageBase& base, TaskEvents* events) {
    const TaskCode code = state.taskCode;
    const bool selection = code == TaskCode::SaveSelectedAsPst ||
                           code == TaskCode::SaveSelectedAsMsg ||
                           code == TaskCode::SaveSelectedAsEml;
    const std::vector<std::uint32_t>* items = selection ? &state.selectedItems : nullptr;
    auto progress = [events](int percent) {
        if (events) events->saveProgress(percent);
    };
    base.errorCode = 0;
    base.errorText.clear();
    switch (code) {
        case TaskCode::SaveAllAsPst:
        case TaskCode::SaveSelectedAsPst:
            pst::savePst(base, state.saveFolder, items, state.stopEvent.flag(), progress,
                         state.tempFolder);
            return;
        default:
            base.resultOk = 0;
            base.errorText = "this save format is not available yet";
            return;
    }
}

}  // namespace brevik::app
