// The message bases of the user's default Outlook data folder, added at start-up.
#pragma once

#include <string>

namespace brevik::app {

class AppState;

// Adds the data files found directly in "<localDataFolder>/Microsoft/Outlook"; an absent
// folder adds nothing.
void addDefaultOutlookFiles(AppState& state, const std::string& localDataFolder);

}  // namespace brevik::app
