#include "app/save_task.h"

#include "app/app_state.h"
#include "app/task_events.h"
#include "writers/files/save_files.h"
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
        case TaskCode::SaveAllAsMsg:
        case TaskCode::SaveSelectedAsMsg:
            files::saveFiles(base, files::FileFormat::Msg, state.saveFolder, items,
                             state.stopEvent.flag(), progress);
            return;
        case TaskCode::SaveAllAsEml:
        case TaskCode::SaveSelectedAsEml:
            files::saveFiles(base, files::FileFormat::Eml, state.saveFolder, items,
                             state.stopEvent.flag(), progress);
            return;
        default:
            base.resultOk = 0;
            base.errorText = "unknown save mode";
            return;
    }
}

}  // namespace brevik::app
