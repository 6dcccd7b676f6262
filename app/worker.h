// The background worker: one task at a time (recovery, search, save) on its own thread, with
// its end reported through the state's TaskEvents.
#pragma once

#include "app/app_state.h"

namespace brevik::app {

// The worker procedure. Runs the state's current task, then, unless the program is closing,
// reports the result flag, and finally sets `doneEvent`.
void runTask(AppState& state);

// Resets a recovered base before it is recovered again, resets the stop, done and quit events,
// starts `runTask` on a new thread and sets `busy`. The previous worker, which has ended, is
// joined first.
void startTask(AppState& state, TaskCode code, std::int32_t baseIndex);

// Asks the running task to stop: sets `stopEvent` and, for a recovery, the base's stop flag
// (the engine honours it at its next read or checkpoint; no descriptor is closed under it).
void stopTask(AppState& state);

}  // namespace brevik::app
