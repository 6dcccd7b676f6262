// The settings store on QSettings: the registry on Windows, an INI file under the XDG config
// folders elsewhere (the machine-wide one under /etc/xdg).
#pragma once

#include <QString>

#include "app/settings.h"

namespace brevik::platform {

class QtSettingsStore final : public app::SettingsStore {
  public:
    QtSettingsStore();
    std::optional<std::string> readString(app::SettingsScope scope,
                                          const std::string& name) override;
    std::optional<std::uint32_t> readWord(app::SettingsScope scope,
                                          const std::string& name) override;
    std::optional<std::vector<std::uint8_t>> readBytes(app::SettingsScope scope,
                                                       const std::string& name) override;
    bool writeWord(const std::string& name, std::uint32_t value) override;
    bool writeBytes(const std::string& name, const std::vector<std::uint8_t>& value) override;
    void remove(const std::string& name) override;
};

// The special folders the program state needs, from QStandardPaths.
app::AppEnvironment desktopEnvironment(app::SettingsStore* store);

}  // namespace brevik::platform
