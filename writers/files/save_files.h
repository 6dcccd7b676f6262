// The save task for separate files, without any user interface: the recovered folder tree as
// folders of .msg or .eml files, or of mbox files, inside one new folder in the chosen place.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recovery/recovered_base.h"

namespace brevik::files {

enum class FileFormat { Msg, Eml, Mbox, Vcf, Ics };

// Whether this build writes `format`: .eml and mbox need GMime, .msg libgsf and .ics libical,
// which some platforms lack.
bool formatAvailable(FileFormat format);

// "Recovered_<fileName without its .pst ending>_as_<msg|eml|mbox|vcf|ics>_by_Brevik".
std::string recoveredFolderName(const std::string& fileName, FileFormat format);

// Which items of `base` a save takes, by item index: the `selected` indexes (those that name no
// item are counted in `skippedSelections`), or every item that loaded and is not hidden.
std::vector<bool> savedItems(const RecoveredBase& base, const std::vector<std::uint32_t>* selected,
                             std::uint64_t& skippedSelections);

struct FileSaveResult {
    bool ok = false;
    bool canceled = false;
    std::string outputPath;  // the folder made for this save
    std::string message;     // why it failed
    std::uint64_t items = 0;
    std::uint64_t unreadableItems = 0;
    std::uint64_t skippedSelections = 0;
    std::uint64_t notMail = 0;  // items left out because the format holds mail only
};

// Saves everything (`selectedItems` null) or the given item indexes. Every folder of the tree
// becomes a folder (deleted folders and the groups of orphaned items included); items no folder
// holds go to "Lost and Found". Msg takes every item, eml and mbox take mail items only; mbox
// writes one file per folder, with its subfolders in "<name>.sbd" beside it; vcf and ics write
// one file per folder of contacts or of calendar items (saveCardFiles). A new output
// folder is made every time (numbered when the name is taken). Each file is written under a
// temporary name and renamed when complete, so a stop or a failure leaves no partial file.
// Watches `stop`; reports 0..100 through `progress`. The base is only read.
FileSaveResult saveFiles(RecoveredBase& base, FileFormat format, const std::string& destFolder,
                         const std::vector<std::uint32_t>* selectedItems,
                         const std::atomic<bool>& stop, std::function<void(int)> progress);

}  // namespace brevik::files
