// The save task that the worker runs for the six save codes.
#pragma once

#include <string>

namespace brevik {
class RecoveredBase;
}

namespace brevik::app {

class AppState;
class TaskEvents;

// How a save ended.
struct SaveOutcome {
    bool ok = false;
    bool canceled = false;  // stopped by the user
    std::string message;    // why it failed
};

// Saves what the last recovery of `base` found, all or the state's `selectedItems`, into the
// state's `saveFolder` in the format of the current task code.
SaveOutcome runSaveTask(AppState& state, RecoveredBase& base, TaskEvents* events);

}  // namespace brevik::app
