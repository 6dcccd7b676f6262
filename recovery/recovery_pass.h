// One recovery run over a message base: every folder and item the file still holds, live,
// deleted or orphaned, with a summary row per item, the named-property map and the folder tree.
#pragma once

#include "recovery/recovered_base.h"

namespace brevik {

// Milestone slots written by a run, in order.
namespace milestone {
inline constexpr int kStart = 77;
inline constexpr int kFormatKnown = 176;
inline constexpr int kTablesBuilt = 276;
inline constexpr int kNodesClassified = 376;
inline constexpr int kMessagesSorted = 466;
inline constexpr int kEncodingDecided = 486;
inline constexpr int kMessagesGrouped = 526;
inline constexpr int kLastLoadingSlot = 1447;
inline constexpr int kMessagesLoaded = 1526;
inline constexpr int kFoldersRead = 1546;
inline constexpr int kDone = 1576;
}  // namespace milestone

// Opens `workPath` read-only and runs the recovery. An unopenable file ends the run with
// `resultOk` 0 and ERROR_FILE_ACCESS. A base that already has a source (tests, memory images)
// is recovered from it.
void openMessageBase(RecoveredBase& base);

// The pass itself, on an opened base; sets `resultOk`.
void recoverMessageBase(RecoveredBase& base);

}  // namespace brevik
