// The save task for the two .pst save codes, without any user interface: writes what the last
// recovery of a base found to "<name>_recovered_by_Brevik.pst" in the chosen folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recovery/recovered_base.h"
#include "writers/pst/write_status.h"

namespace brevik::pst {

struct SaveTaskResult {
    bool ok = false;
    bool canceled = false;
    std::string outputPath;
    std::string message;  // why it failed
    std::uint64_t items = 0;
    std::uint64_t unreadableItems = 0;
    std::uint64_t skippedSelections = 0;
    std::uint64_t droppedValues = 0;  // property values that could not be carried over
};

// The file name without its ".pst" ending (in any letter case); other names keep all their
// characters.
std::string saveBaseName(const std::string& fileName);

// "<fileName without its .pst ending>_recovered_by_Brevik.pst". Only a real ".pst" ending (in
// any letter case) is removed, so other names keep all their characters.
std::string recoveredPstName(const std::string& fileName);

// Saves everything (`selectedItems` null) or the given item indexes, in their folders. Watches
// `stop`; reports 0..100 through `progress`; keeps its working file, named "_...", in
// `tempFolder` (empty: beside the destination) until the finished file is moved into place. The
// base is only read.
SaveTaskResult savePst(RecoveredBase& base, const std::string& destFolder,
                       const std::vector<std::uint32_t>* selectedItems,
                       const std::atomic<bool>& stop, std::function<void(int)> progress,
                       const std::string& tempFolder = {});

}  // namespace brevik::pst
