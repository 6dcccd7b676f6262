// Fuzz target: recover an arbitrary image, save what was found as a new file, and recover that
// file again. It must hold the same items, and every value in it must be one other readers know.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/byte_source.h"
#include "message/item_summary.h"
#include "recovery/recovery_pass.h"
#include "writers/pst/recovered_store.h"
#include "writers/pst/save_task.h"

namespace {

namespace fs = std::filesystem;

// One scratch folder per process, in memory when /dev/shm is there; removed at exit.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        path = fs::is_directory("/dev/shm") ? "/dev/shm" : (tmp ? tmp : "/tmp");
        path += "/brevik-writer-fuzz-XXXXXX";
        if (::mkdtemp(path.data()) == nullptr) std::abort();
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const std::string& scratchFolder() {
    static const ScratchFolder folder;
    return folder.path;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "writer_fuzz: %s\n", what);
    std::abort();
}

bool allWritable(const brevik::pst::Item& item) {
    auto props = [](const brevik::pst::PropertyList& list) {
        return std::all_of(list.begin(), list.end(), [](const brevik::pst::Property& p) {
            return brevik::pst::isWritableValue(p.type, p.value);
        });
    };
    if (!props(item.properties)) return false;
    for (const auto& r : item.recipients)
        if (!props(r.properties)) return false;
    for (const auto& a : item.attachments)
        if (!props(a.properties) || (a.embedded && !allWritable(*a.embedded))) return false;
    return true;
}

std::vector<std::string> sortedSubjects(const brevik::RecoveredBase& base,
                                        const std::vector<std::uint32_t>& indexes) {
    std::vector<std::string> out;
    for (std::uint32_t i : indexes)
        out.push_back(base.itemSummaries[i].subjectText);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brevik;
    RecoveredBase source;
    setMessageBasePath(source, "fuzz.pst");
    source.attachSource(std::make_unique<MemorySource>(Bytes(data, data + size)));
    openMessageBase(source);
    if (source.resultOk != 1) return 0;

    // The items the save can read, as it will write them.
    const pst::RecoveredNames names = pst::recoveredNames(source);
    std::vector<std::uint32_t> readable;
    for (std::uint32_t i = 0; i < source.itemCount && i < source.messageEntries.size(); ++i)
        if (pst::recoveredItem(source, i, names)) readable.push_back(i);

    const std::atomic<bool> stop{false};
    const pst::SaveTaskResult saved = pst::savePst(source, scratchFolder(), nullptr, stop, nullptr);
    // A recovery that found no folder and no item has nothing to save, and the save says so.
    const bool nothing = !source.rootNode && !source.topNode && source.itemCount == 0;
    if (!saved.ok && !nothing) fail("the save failed");
    if (!saved.ok) return 0;
    if (saved.items != readable.size()) fail("the save wrote another number of items");

    RecoveredBase written;
    setMessageBasePath(written, saved.outputPath);
    openMessageBase(written);
    if (written.resultOk != 1) fail("the written file does not recover");
    std::vector<std::uint32_t> all(written.itemCount);
    for (std::uint32_t i = 0; i < written.itemCount; ++i)
        all[i] = i;
    const auto writtenSubjects = sortedSubjects(written, all);
    const auto sourceSubjects = sortedSubjects(source, readable);
    if (writtenSubjects != sourceSubjects) {
        // Name the first difference, so that a report from a run elsewhere says what went wrong.
        const auto [w, s] = std::mismatch(writtenSubjects.begin(), writtenSubjects.end(),
                                          sourceSubjects.begin(), sourceSubjects.end());
        std::fprintf(
            stderr, "writer_fuzz: %zu items written, %zu read; first difference: \"%s\" / \"%s\"\n",
            writtenSubjects.size(), sourceSubjects.size(),
            w == writtenSubjects.end() ? "(none)" : w->c_str(),
            s == sourceSubjects.end() ? "(none)" : s->c_str());
        fail("the written file holds other items");
    }
    const pst::RecoveredNames writtenNames = pst::recoveredNames(written);
    for (std::uint32_t i : all) {
        const auto item = pst::recoveredItem(written, i, writtenNames);
        if (!item) fail("an item of the written file cannot be read");
        if (!allWritable(*item)) fail("the written file holds a value of an invalid type or size");
    }
    return 0;
}
