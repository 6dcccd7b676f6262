// The save task that the worker runs for the six save codes.
#pragma once

namespace brevik {
class MessageBase;
}

namespace brevik::app {

class AppState;
class TaskEvents;

// Saves what the last recovery of `base` found, all or the state's `selectedItems`, into the
// state's `saveFolder` in the format of the current task code. Sets the base's `resultOk`, and
// `errorCode` to ERROR_SAVE_CANCELED when stopped, `errorText` to the reason of a failure.
void runSaveTask(AppState& state, MessageBase& base, TaskEvents* events);

}  // namespace brevik::app
