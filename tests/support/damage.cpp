#include "support/damage.h"

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/byte_source.h"
#include "message/item_summary.h"
#include "recovery/recovery_pass.h"

namespace brevik::test {
namespace {

constexpr std::size_t kPage = 512;
constexpr std::uint8_t kBlockIndexPage = 0x80;
constexpr std::uint8_t kNodeIndexPage = 0x81;

}  // namespace

Bytes readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void writeTruncatedCopy(const std::string& path, int percent, const std::string& to) {
    Bytes image = readFileBytes(path);
    image.resize(image.size() * percent / 100);
    writeFileBytes(to, image);
}

HeaderLayout HeaderLayout::of(bool unicode) {
    if (unicode) return {564, 513, 224, 240, 496, 491};
    return {512, 461, 188, 196, 500, 499};
}

std::vector<IndexPage> findIndexPages(const Bytes& image, bool unicode) {
    const HeaderLayout h = HeaderLayout::of(unicode);
    std::vector<IndexPage> out;
    for (std::size_t p = 0; p + kPage <= image.size(); p += kPage) {
        const std::uint8_t type = image[p + h.pageTypePos];
        if (type != image[p + h.pageTypePos + 1]) continue;
        if (type != kBlockIndexPage && type != kNodeIndexPage) continue;
        out.push_back({p, type == kNodeIndexPage, image[p + h.levelPos]});
    }
    return out;
}

std::vector<IndexPage> liveIndexPages(const Bytes& image, bool unicode) {
    const HeaderLayout h = HeaderLayout::of(unicode);
    const std::size_t entrySize = unicode ? 24 : 12;  // BTENTRY
    const std::size_t childPos = unicode ? 16 : 8;    // its BREF's file offset
    const std::size_t countPos = unicode ? 488 : 496;
    std::map<std::uint64_t, IndexPage> seen;
    std::vector<std::uint64_t> todo = {headerRoot(image, unicode, true),
                                       headerRoot(image, unicode, false)};
    while (!todo.empty()) {
        const std::uint64_t p = todo.back();
        todo.pop_back();
        if (p == 0 || p % kPage != 0 || p + kPage > image.size() || seen.count(p)) continue;
        const std::uint8_t type = image[p + h.pageTypePos];
        if (type != kBlockIndexPage && type != kNodeIndexPage) continue;
        const IndexPage page{p, type == kNodeIndexPage, image[p + h.levelPos]};
        seen.emplace(p, page);
        if (page.level == 0) continue;
        const std::size_t count = std::min<std::size_t>(image[p + countPos], 480 / entrySize);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = p + i * entrySize + childPos;
            todo.push_back(unicode ? get64(image, at) : get32(image, at));
        }
    }
    std::vector<IndexPage> out;
    for (const auto& [offset, page] : seen)
        out.push_back(page);
    return out;
}

std::uint64_t headerRoot(const Bytes& image, bool unicode, bool nodeIndex) {
    const HeaderLayout h = HeaderLayout::of(unicode);
    const std::size_t pos = nodeIndex ? h.nbtRootPos : h.bbtRootPos;
    return unicode ? get64(image, pos) : get32(image, pos);
}

void zeroRange(Bytes& image, std::uint64_t offset, std::uint64_t length) {
    if (offset >= image.size()) return;
    const std::uint64_t end = std::min<std::uint64_t>(image.size(), offset + length);
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(offset),
              image.begin() + static_cast<std::ptrdiff_t>(end), 0);
}

RecoveryOutcome recoverImage(const Bytes& image, std::chrono::milliseconds limit) {
    // Shared with the worker, which may outlive this call when it hangs.
    struct Run {
        RecoveredBase base;
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto run = std::make_shared<Run>();
    run->base.attachSource(std::make_unique<MemorySource>(image));
    std::thread worker([run] {
        openMessageBase(run->base);
        std::lock_guard lock(run->mutex);
        run->finished = true;
        run->done.notify_all();
    });

    RecoveryOutcome out;
    {
        std::unique_lock lock(run->mutex);
        if (!run->done.wait_for(lock, limit, [&] { return run->finished; })) {
            run->base.requestStop();
            run->done.wait_for(lock, limit, [&] { return run->finished; });
        }
        out.finished = run->finished;
    }
    if (!out.finished) {
        worker.detach();
        return out;
    }
    worker.join();
    RecoveredBase& base = run->base;
    out.resultOk = base.resultOk == 1;
    const auto* memory = dynamic_cast<const MemorySource*>(base.source.get());
    out.sourceUnchanged = memory != nullptr && memory->image() == image;
    // A failed run shows nothing, whatever its tables held.
    for (std::uint32_t i = 0; out.resultOk && i < base.itemCount && i < base.itemSummaries.size();
         ++i) {
        const ItemSummary& s = base.itemSummaries[i];
        if (base.messageEntries[i].loadFailed || s.hiddenCode == 201) continue;
        out.items.emplace_back(base.messageEntries[i].nodeId, s.subjectText);
        if (s.deletedMark)
            out.deletedItems.emplace_back(base.messageEntries[i].nodeId, s.subjectText);
    }
    return out;
}

double recall(const RecoveryOutcome& baseline, const RecoveryOutcome& damaged) {
    if (baseline.items.empty()) return 1.0;
    std::map<std::pair<std::uint32_t, std::string>, int> left;
    for (const auto& item : damaged.items)
        ++left[item];
    std::size_t found = 0;
    std::vector<const std::pair<std::uint32_t, std::string>*> missed;
    for (const auto& item : baseline.items) {
        auto it = left.find(item);
        if (it != left.end() && it->second > 0) {
            --it->second;
            ++found;
        } else {
            missed.push_back(&item);
        }
    }
    // Items recovered from their data alone have lost their node id (0): match them on subject.
    for (const auto* item : missed) {
        auto it = left.find({0, item->second});
        if (it != left.end() && it->second > 0) {
            --it->second;
            ++found;
        }
    }
    return static_cast<double>(found) / static_cast<double>(baseline.items.size());
}

}  // namespace brevik::test
