#include "app/settings.h"

#include <filesystem>

#include "app/app_state.h"
#include "engine/native_files.h"

namespace brevik::app {

namespace {

constexpr const char* kPath = "Path";
constexpr const char* kOptions = "options";

template <typename T, typename Read>
std::optional<T> systemThenUser(Read read) {
    std::optional<T> value = read(SettingsScope::System);
    if (auto user = read(SettingsScope::User)) value = user;
    return value;
}

void putWord(std::vector<std::uint8_t>& out, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

std::int32_t getWord(const std::vector<std::uint8_t>& in, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<std::uint32_t>(in[at + i]) << (8 * i);
    return static_cast<std::int32_t>(u);
}

}  // namespace

void readSettings(AppState& state, const AppEnvironment& env) {
    const std::string fallback =
        native::utf8FromPath(std::filesystem::temp_directory_path() /
                             native::pathFromUtf8("brevik-" + native::userTag()));
    state.installFolder = fallback;
    state.tempFolder = fallback;

    bool pathFound = false;
    if (SettingsStore* store = env.settings) {
        if (auto path = systemThenUser<std::string>(
                [&](SettingsScope s) { return store->readString(s, kPath); });
            path && !path->empty()) {
            state.installFolder = *path;
            pathFound = true;
        }
        if (auto options = systemThenUser<std::uint32_t>(
                [&](SettingsScope s) { return store->readWord(s, kOptions); })) {
            state.showKind2Bases = (*options & 1) ? 1 : 0;
            state.showKind3Bases = (*options & 2) ? 1 : 0;
            state.openDefaultOutlookFiles = (*options & 4) ? 1 : 0;
        }
    }
    if (!env.localDataFolder.empty()) {
        state.tempFolder = env.localDataFolder + "/" + kProductName + "/_qzt_temp";
        if (!pathFound) state.installFolder = state.tempFolder;
    }
    if (makePath(state.tempFolder) == -1) {
        if (env.showMessage) env.showMessage("Cannot make temp folder");
    } else {
        // Preview files hold other people's mail: keep the folder to its owner.
        std::error_code ec;
        std::filesystem::permissions(state.tempFolder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
    }
}

std::uint32_t optionsWord(const AppState& state) {
    return (state.showKind2Bases ? 1u : 0u) + (state.showKind3Bases ? 2u : 0u) +
           (state.openDefaultOutlookFiles ? 4u : 0u);
}

bool writeOptions(const AppState& state, SettingsStore* store) {
    return store && store->writeWord(kOptions, optionsWord(state));
}

std::vector<std::uint8_t> encodeRect(const WindowRect& r) {
    std::vector<std::uint8_t> out;
    out.reserve(16);
    for (std::int32_t v : {r.left, r.top, r.right, r.bottom})
        putWord(out, v);
    return out;
}

std::optional<WindowRect> decodeRect(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 16) return std::nullopt;
    WindowRect r{getWord(bytes, 0), getWord(bytes, 4), getWord(bytes, 8), getWord(bytes, 12)};
    if (r.width() <= 0 || r.height() <= 0) return std::nullopt;
    return r;
}

WindowLayout readLayout(SettingsStore* store) {
    WindowLayout layout;
    if (!store) return layout;
    constexpr auto user = SettingsScope::User;
    if (auto v = store->readWord(user, "WorkWndSplit"))
        layout.workSplit = static_cast<std::int32_t>(*v);
    if (auto v = store->readWord(user, "RightWndSplit"))
        layout.rightSplit = static_cast<std::int32_t>(*v);
    if (auto v = store->readBytes(user, "MainWindowC")) layout.window = decodeRect(*v);
    if (auto v = store->readWord(user, "MainWindowD")) layout.maximised = *v == 1;
    if (auto v = store->readBytes(user, "MainWindowE")) layout.restore = decodeRect(*v);
    return layout;
}

void saveLayout(SettingsStore* store, const WindowLayout& layout) {
    if (!store) return;
    store->writeWord("WorkWndSplit", static_cast<std::uint32_t>(layout.workSplit));
    store->writeWord("RightWndSplit", static_cast<std::uint32_t>(layout.rightSplit));
    if (layout.window) {
        WindowRect r = *layout.window;
        if (r.left < 0) r.left = 0;
        if (r.top < 0) r.top = 0;
        store->writeBytes("MainWindowC", encodeRect(r));
        store->writeWord("MainWindowD", layout.maximised ? 1 : 0);
    }
}

void noteMaximised(SettingsStore* store, const WindowRect& normal) {
    if (store) store->writeBytes("MainWindowE", encodeRect(normal));
}

void noteRestored(SettingsStore* store) {
    if (store) store->remove("MainWindowE");
}

}  // namespace brevik::app
