// How the worker reports to the user-interface thread. Implementations queue every call to that
// thread and return at once: the worker never waits for the user interface, and a report is
// never dropped while the program runs.
#pragma once

#include <string>

#include "app/app_state.h"

namespace brevik::app {

class TaskEvents {
  public:
    virtual ~TaskEvents() = default;
    // The task ended; `ok` is its result flag.
    virtual void taskEnded(TaskCode code, bool ok) = 0;
    // A new status-line text (the search reports its progress so).
    virtual void showStatusText(const std::string& text) = 0;
    // Progress of a save, 0..100.
    virtual void saveProgress(int percent) = 0;
};

}  // namespace brevik::app
