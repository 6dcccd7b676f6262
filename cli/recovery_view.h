// What the list and show commands print: a recovered base walked from its top folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "message/item_summary.h"
#include "recovery/recovered_base.h"

namespace brevik::cli {

// One folder as shown, in tree order from the top node.
struct ShownFolder {
    std::uint32_t folderIndex = 0;
    int depth = 0;
    std::string path;   // names from the top node down, joined by "/"
    bool copy = false;  // an extra entry for a folder shown elsewhere too
};

// With `all` the system folders too, from the root when the tree starts at a mailbox's top.
std::vector<ShownFolder> shownFolders(const RecoveredBase& base, bool all = false);
// For every item index, the position in `folders` of the folder that holds it, or
// kNoShownFolder.
inline constexpr std::uint32_t kNoShownFolder = UINT32_MAX;
std::vector<std::uint32_t> itemShownFolders(const RecoveredBase& base,
                                            const std::vector<ShownFolder>& folders);
// The path of the folder at `at` of itemShownFolders(), "" for none.
const std::string& itemFolderPath(const std::vector<ShownFolder>& folders, std::uint32_t at);

// Items a listing shows: readable, and not hidden system items unless `all`.
struct ShownItemCounts {
    std::uint32_t items = 0;
    std::uint32_t deleted = 0;
};
ShownItemCounts countShownItems(const RecoveredBase& base, bool all);

// Exit status of a command that recovered `base`: 0 when nothing was lost, kExitDataLost when the
// file is damaged in a way that lost data.
inline constexpr int kExitDataLost = 3;
inline int exitStatus(const RecoveredBase& base) {
    return base.damage.dataLost() ? kExitDataLost : 0;
}

// "healthy" only when the structures are sound; "damaged" when anything beyond stale index
// entries was found, lost or not.
inline const char* verdictName(const DamageLog& damage) {
    return damage.damaged() ? "damaged" : "healthy";
}

// Text of a kind code for people.
const char* kindName(std::uint8_t kind);
// What a listed item is, told by its message class (meeting responses, the kinds of report)
// where it has one, else by its kind code.
const char* kindName(const ItemSummary& row);

// ISO 8601 UTC text of a FILETIME, "" for 0.
std::string isoUtc(std::uint64_t filetime);

// Ctrl-C and SIGTERM from now on ask a running recovery or save to stop instead of ending the
// process: they set interruptFlag().
void installInterruptHandler();
const std::atomic<bool>& interruptFlag();

// Opens `path` for `base` after checking its type: anything but a regular file or a block
// device (a FIFO would block the open, a directory cannot be read) is refused unopened. False
// with a message in `err` when it cannot be opened.
bool openInput(RecoveredBase& base, const std::string& path, std::ostream& err);

// Runs `work` on a worker thread with a progress bar of `percent` (0..100) on stderr (when it
// is a terminal and the run takes more than a second), calling `tick` every 50 ms meanwhile.
void runWithProgress(const std::function<void()>& work, const std::function<int()>& percent,
                     std::ostream& err, const std::function<void()>& tick = {});

// Runs a recovery with a progress bar on stderr (when it is a terminal and the run takes more
// than a second); Ctrl-C stops the run. Returns false when the run failed or was stopped, with
// a message already written to `err`.
// `threads`: of the pass (0: one per core). Summary rows keep no body copies here: a command
// prints a body only after reading its item again.
bool recoverWithProgress(RecoveredBase& base, const std::string& path, std::ostream& err,
                         unsigned threads = 0);

}  // namespace brevik::cli
