#include "app/save_task.h"

#include "app/app_state.h"
#include "app/task_events.h"
#include "writers/files/save_files.h"
#include "writers/pst/save_task.h"

namespace brevik::app {

namespace {

template <typename Result>
SaveOutcome outcomeOf(const Result& r, bool folder) {
    return {r.ok, r.canceled, r.message, r.outputPath, folder, r.items};
}

}  // namespace

SaveOutcome runSaveTask(AppState& state, RecoveredBase& base, TaskEvents* events) {
    const TaskCode code = state.taskCode;
    const bool selection = code == TaskCode::SaveSelectedAsPst ||
                           code == TaskCode::SaveSelectedAsMsg ||
                           code == TaskCode::SaveSelectedAsEml;
    const std::vector<std::uint32_t>* items = selection ? &state.selectedItems : nullptr;
    auto progress = [events](int percent) {
        if (events) events->saveProgress(percent);
    };
    switch (code) {
        case TaskCode::SaveAllAsPst:
        case TaskCode::SaveSelectedAsPst:
            return outcomeOf(pst::savePst(base, state.saveFolder, items, state.stopEvent.flag(),
                                          progress, state.tempFolder),
                             false);
        case TaskCode::SaveAllAsMsg:
        case TaskCode::SaveSelectedAsMsg:
            return outcomeOf(files::saveFiles(base, files::FileFormat::Msg, state.saveFolder, items,
                                              state.stopEvent.flag(), progress),
                             true);
        case TaskCode::SaveAllAsEml:
        case TaskCode::SaveSelectedAsEml:
            return outcomeOf(files::saveFiles(base, files::FileFormat::Eml, state.saveFolder, items,
                                              state.stopEvent.flag(), progress),
                             true);
        case TaskCode::SaveAllAsVcf:
        case TaskCode::SaveAllAsIcs:
            return outcomeOf(
                files::saveFiles(base,
                                 code == TaskCode::SaveAllAsVcf ? files::FileFormat::Vcf
                                                                : files::FileFormat::Ics,
                                 state.saveFolder, nullptr, state.stopEvent.flag(), progress),
                true);
        default:
            return {false, false, "unknown save mode", {}, false, 0};
    }
}

}  // namespace brevik::app
