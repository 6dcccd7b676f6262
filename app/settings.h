// Settings: the installation folder and the options word (machine-wide, then per user), and the
// main window's layout (per user). Every failure is silent and leaves the default in place.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/app_environment.h"

namespace brevik::app {

class AppState;

inline constexpr const char* kSettingsOrganisation = "Tamb";
inline constexpr const char* kSettingsGroup = "00000258";

enum class SettingsScope { System, User };

// A key-value store under the program's settings group. Writes go to the user scope only:
// users cannot write the machine-wide one.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> readString(SettingsScope scope, const std::string& name) = 0;
    virtual std::optional<std::uint32_t> readWord(SettingsScope scope, const std::string& name) = 0;
    virtual std::optional<std::vector<std::uint8_t>> readBytes(SettingsScope scope,
                                                               const std::string& name) = 0;
    virtual bool writeWord(const std::string& name, std::uint32_t value) = 0;
    virtual bool writeBytes(const std::string& name, const std::vector<std::uint8_t>& value) = 0;
    virtual void remove(const std::string& name) = 0;
};

// Reads "Path" and "options" (machine-wide first, the user's values override), chooses the
// private temporary folder under the local data folder and creates it.
void readSettings(AppState& state, const AppEnvironment& env);

// Stores the options word: bit 0 and 1 the kind filters, bit 2 the default-folder option.
bool writeOptions(const AppState& state, SettingsStore* store);
std::uint32_t optionsWord(const AppState& state);

// A window rectangle in screen coordinates, stored as four signed little-endian 32-bit words.
struct WindowRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
};
std::vector<std::uint8_t> encodeRect(const WindowRect& r);
std::optional<WindowRect> decodeRect(const std::vector<std::uint8_t>& bytes);

struct WindowLayout {
    std::int32_t workSplit = 200;   // tree width; -1 centres
    std::int32_t rightSplit = 200;  // item list height; -1 centres
    std::optional<WindowRect> window;
    bool maximised = false;
    std::optional<WindowRect> restore;  // size before maximising, while maximised
};

WindowLayout readLayout(SettingsStore* store);
// Writes splitters, the window rectangle (negative left/top raised to 0) and the maximised state.
void saveLayout(SettingsStore* store, const WindowLayout& layout);
// The window is about to be maximised from `normal`; remembered as its restore size.
void noteMaximised(SettingsStore* store, const WindowRect& normal);
// The window was restored from maximised: the restore size is no longer needed.
void noteRestored(SettingsStore* store);

}  // namespace brevik::app
