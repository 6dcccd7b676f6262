#include "app/opened_item.h"

#include <ctime>
#include <filesystem>
#include <fstream>

#include "writers/eml/item_eml.h"

namespace brevik::app {

std::string writeOpenedItem(RecoveredBase& base, std::uint32_t item, const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string path = folder + "/open_" + std::to_string(item) + "_" +
                             std::to_string(static_cast<long long>(std::time(nullptr))) + ".eml";
    const std::string eml = eml::itemAsEml(base, item);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(eml.data(), static_cast<std::streamsize>(eml.size())) || !out.flush()) return {};
    return path;
}

std::string itemSourceHeaders(RecoveredBase& base, std::uint32_t item) {
    return eml::itemSourceHeaders(base, item);
}

}  // namespace brevik::app
