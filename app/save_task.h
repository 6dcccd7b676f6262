// The save task that the worker runs for the six save codes.
#pragma once

#include <cstdint>
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
    bool canceled = false;   // stopped by the user
    std::string message;     // why it failed
    std::string outputPath;  // the file or the new folder the save wrote to
    bool outputIsFolder = false;
    std::uint64_t items = 0;  // items written, also when it stopped half-way
};

// Saves what the last recovery of `base` found, all or the state's `selectedItems`, into the
// state's `saveFolder` in the format of the current task code.
SaveOutcome runSaveTask(AppState& state, RecoveredBase& base, TaskEvents* events);

}  // namespace brevik::app
