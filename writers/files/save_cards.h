// The save as address book and calendar files: one .vcf per folder that holds contacts or
// distribution lists, one .ics per folder that holds appointments, tasks or journal entries,
// side by side in one new folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recovery/recovered_base.h"
#include "writers/files/save_files.h"

namespace brevik::files {

// Called by saveFiles for FileFormat::Vcf and FileFormat::Ics, into the output folder it made.
// Items of other kinds are counted in `notMail` (they are not what the format holds).
void saveCardFiles(RecoveredBase& base, FileFormat format, const std::string& outputFolder,
                   const std::vector<std::uint32_t>* selectedItems, const std::atomic<bool>& stop,
                   const std::function<void(int)>& progress, FileSaveResult& result);

}  // namespace brevik::files
