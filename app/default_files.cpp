#include "app/default_files.h"

#include "app/file_search.h"

namespace brevik::app {

void addDefaultOutlookFiles(AppState& state, const std::string& localDataFolder) {
    if (localDataFolder.empty()) return;
    addBasesInDirectory(state, localDataFolder + "/Microsoft/Outlook");
}

}  // namespace brevik::app
