// What the program's state needs from the desktop around it: the settings store, the special
// folders and a way to tell the user something. Tests supply their own.
#pragma once

#include <functional>
#include <string>

namespace brevik::app {

class SettingsStore;

struct AppEnvironment {
    SettingsStore* settings = nullptr;  // null: every setting keeps its default
    std::string localDataFolder;        // per-user application data ($XDG_DATA_HOME)
    std::string documentsFolder;
    // Shows a caption-less message; may be empty (nothing is shown).
    std::function<void(const std::string&)> showMessage;
};

}  // namespace brevik::app
