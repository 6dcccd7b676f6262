// The private temporary folder: preview files start with "~", working files of saves with "_".
#pragma once

#include <string>

namespace brevik::app {

// Items opened in the desktop's mail program: a folder in the temporary folder, removed at exit.
inline constexpr const char* kOpenedFolder = "~opened";

// Deletes the "~" files and/or the "_" files directly in `folder`, never `keep` (compared byte
// for byte with the full path). Entries that cannot be deleted (directories, ...) are skipped.
void cleanTempFolder(const std::string& folder, bool tildeFiles, bool underscoreFiles,
                     const std::string& keep = {});

// A new preview file name in `folder`: "~temporary_<r1>_<r2>_<r3>_<seconds>".
std::string makeTempFileName(const std::string& folder);

}  // namespace brevik::app
