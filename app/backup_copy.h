// Copying a data file for backup, before it is recovered: the user's own file, byte for byte,
// into a folder of their choice.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace brevik::app {

struct CopyPlan {
    std::string source;       // the user's file
    std::string destination;  // folder + file name
    bool replaces = false;    // a file of that name is there already
    std::string refusal;      // why the copy cannot be made; empty when it can
};

// Checks a copy of `source` into `folder` before anything is written: an empty folder, a path
// too long for the system, and a destination that is the source itself are refused.
CopyPlan planCopy(const std::string& source, const std::string& folder);

// Copies through a working file beside the destination, renamed into place when complete, so
// that a failed or stopped copy leaves nothing behind. Reports 0..100 through `progress`.
// Returns an empty string on success, else the reason ("Canceled by user" when stopped).
std::string copyForBackup(const CopyPlan& plan, const std::atomic<bool>& stop,
                          const std::function<void(int)>& progress);

}  // namespace brevik::app
