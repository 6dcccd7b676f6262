#include "writers/pst/save_task.h"

#include <algorithm>
#include <filesystem>

#include "engine/native_files.h"
#include "writers/pst/recovered_store.h"

namespace brevik::pst {

std::string saveBaseName(const std::string& fileName) {
    std::string stem = fileName;
    if (stem.size() >= 4) {
        std::string ending = stem.substr(stem.size() - 4);
        std::transform(ending.begin(), ending.end(), ending.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (ending == ".pst") stem.resize(stem.size() - 4);
    }
    return stem;
}

std::string recoveredPstName(const std::string& fileName) {
    return saveBaseName(fileName) + "_recovered_by_Brevik.pst";
}

SaveTaskResult savePst(RecoveredBase& base, const std::string& destFolder,
                       const std::vector<std::uint32_t>* selectedItems,
                       const std::atomic<bool>& stop, std::function<void(int)> progress,
                       const std::string& tempFolder) {
    SaveTaskResult result;
    auto fail = [&](std::string message) {
        result.message = std::move(message);
        return result;
    };
    if (!base.rootNode && !base.topNode && base.itemCount == 0)
        return fail("nothing has been recovered from " + base.fileName);

    result.outputPath = native::utf8FromPath(native::pathFromUtf8(destFolder) /
                                             native::pathFromUtf8(recoveredPstName(base.fileName)));
    if (progress) progress(0);
    RecoveredWriteOptions options;
    options.selectedItems = selectedItems;
    options.stop = &stop;
    options.progress = progress;
    options.tempFolder = tempFolder;
    options.threads = base.passThreads;
    const RecoveredWriteResult written = writeRecoveredStore(base, result.outputPath, options);
    result.items = written.items;
    result.unreadableItems = written.unreadableItems;
    result.skippedSelections = written.skippedSelections;
    result.droppedValues = written.droppedValues;
    if (!written.status.ok()) {
        result.canceled = written.status.error == WriteError::Stopped;
        return fail(written.status.message);
    }
    if (progress) progress(100);
    result.ok = true;
    return result;
}

}  // namespace brevik::pst
