#include "app/temp_files.h"

#include <ctime>
#include <filesystem>
#include <random>

#include "engine/native_files.h"

namespace brevik::app {

namespace fs = std::filesystem;

void cleanTempFolder(const std::string& folder, bool tildeFiles, bool underscoreFiles,
                     const std::string& keep) {
    if (folder.empty()) return;
    // Tilde files first, then underscore files.
    for (const char lead : {'~', '_'}) {
        if ((lead == '~' && !tildeFiles) || (lead == '_' && !underscoreFiles)) continue;
        std::error_code ec;
        for (fs::directory_iterator it(native::pathFromUtf8(folder), ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = native::utf8FromPath(it->path().filename());
            if (name.empty() || name[0] != lead) continue;
            const std::string full = folder + "/" + name;
            if (!keep.empty() && full == keep) continue;
            std::error_code typeError;
            if (it->is_directory(typeError)) continue;
            native::removeFile(full);
        }
    }
}

std::string makeTempFileName(const std::string& folder) {
    static thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, 32767);
    const int a = pick(random), b = pick(random), c = pick(random);
    return folder + "/~temporary_" + std::to_string(a) + "_" + std::to_string(b) + "_" +
           std::to_string(c) + "_" + std::to_string(static_cast<long long>(std::time(nullptr)));
}

}  // namespace brevik::app
