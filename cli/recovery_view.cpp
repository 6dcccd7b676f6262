#include "cli/recovery_view.h"
#include "cli/terminal_text.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <exception>
#include <iostream>
#include <mutex>
#include <ostream>
#include <thread>
#include <unordered_set>

#include "engine/filetime.h"
#include "engine/native_files.h"
#include "message/item_summary.h"
#include "recovery/folder_tree.h"
#include "recovery/recovery_pass.h"

namespace brevik::cli {
namespace {

std::atomic<bool> interrupted{false};

}  // namespace

std::vector<ShownFolder> shownFolders(const RecoveredBase& base, bool all) {
    std::vector<ShownFolder> out;
    if (!base.topNode) return out;
    const FolderTreeNode* start = all && base.systemFoldersHidden ? base.rootNode : base.topNode;
    std::unordered_set<std::uint32_t> seen;
    struct Frame {
        const FolderTreeNode* node;
        int depth;
        std::string path;
    };
    std::vector<Frame> stack{{start, 0, std::string(folderName(base, start->folderIndex))}};
    while (!stack.empty()) {
        Frame f = std::move(stack.back());
        stack.pop_back();
        ShownFolder s;
        s.folderIndex = f.node->folderIndex;
        s.depth = f.depth;
        s.path = f.path;
        s.copy = !seen.insert(s.folderIndex).second;
        out.push_back(std::move(s));
        std::vector<const FolderTreeNode*> children;
        for (const FolderTreeNode* c = f.node->firstChild; c; c = c->nextSibling)
            if (all || !c->system) children.push_back(c);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back({*it, f.depth + 1,
                             f.path + "/" + std::string(folderName(base, (*it)->folderIndex))});
    }
    return out;
}

std::vector<std::uint32_t> itemShownFolders(const RecoveredBase& base,
                                            const std::vector<ShownFolder>& folders) {
    std::vector<std::uint32_t> at(base.itemCount, kNoShownFolder);
    for (std::uint32_t k = 0; k < folders.size(); ++k) {
        if (folders[k].copy) continue;
        const FolderEntry& f = base.folderEntries[folders[k].folderIndex];
        for (std::uint32_t i = f.firstItem; i < f.endItem && i < at.size(); ++i)
            at[i] = k;
    }
    return at;
}

const std::string& itemFolderPath(const std::vector<ShownFolder>& folders, std::uint32_t at) {
    static const std::string kNone;
    return at == kNoShownFolder ? kNone : folders[at].path;
}

ShownItemCounts countShownItems(const RecoveredBase& base, bool all) {
    ShownItemCounts counts;
    const std::vector<std::uint8_t> system = itemsInSystemFolders(base);
    for (std::uint32_t i = 0; i < base.itemCount; ++i) {
        const ItemSummary& s = base.itemSummaries[i];
        if (base.messageEntries[i].loadFailed || ((s.hiddenCode == 201 || system[i]) && !all))
            continue;
        ++counts.items;
        counts.deleted += s.deletedMark != 0;
    }
    return counts;
}

const char* kindName(std::uint8_t kind) {
    switch (kind) {
        case 101:
            return "report";
        case 102:
            return "contact";
        case 103:
            return "appointment";
        case 104:
            return "note";
        case 105:
            return "journal";
        case 106:
            return "task";
        case 107:
            return "distlist";
        case 109:
            return "taskRequest";
        case 110:
            return "meetingRequest";
        case 200:
            return "mail";
        case 201:
            return "system";
        default:
            return "other";
    }
}

const char* kindName(const ItemSummary& row) {
    return row.messageClass.empty() ? kindName(row.kind) : itemTypeName(row.type);
}

std::string isoUtc(std::uint64_t ticks) {
    if (ticks < filetime::kUnixEpochTicks) return {};
    const std::uint64_t seconds = filetime::unixSeconds(ticks);
    // The proleptic Gregorian date of a day count from 1970-01-01 (eras of 400 years); a listing
    // prints a time per item, and this is several times cheaper than gmtime_r and strftime.
    const std::uint64_t z = seconds / 86400 + 719468;
    const std::uint64_t era = z / 146097;
    const std::uint64_t doe = z - era * 146097;
    const std::uint64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::uint64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::uint64_t mp = (5 * doy + 2) / 153;
    const std::uint64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::uint64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::uint64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const std::uint64_t inDay = seconds % 86400;
    // Written by hand: snprintf was a good part of a listing's time.
    char buf[40];
    char* w = std::to_chars(buf, buf + 24, year).ptr;  // 1970 on: four digits or more
    auto two = [&w](char separator, std::uint64_t v) {
        *w++ = separator;
        *w++ = static_cast<char>('0' + v / 10);
        *w++ = static_cast<char>('0' + v % 10);
    };
    two('-', month);
    two('-', day);
    two('T', inDay / 3600);
    two(':', inDay / 60 % 60);
    two(':', inDay % 60);
    *w++ = 'Z';
    return std::string(buf, w);
}

void installInterruptHandler() {
    native::installStopHandler(interrupted);
}

const std::atomic<bool>& interruptFlag() {
    return interrupted;
}

bool openInput(RecoveredBase& base, const std::string& path, std::ostream& err) {
    const char* refused = nullptr;
    switch (native::fileKind(path)) {
        case native::FileKind::Folder:
            refused = "is a directory";
            break;
        case native::FileKind::Pipe:
            refused = "is a FIFO (named pipe), not a file";
            break;
        case native::FileKind::Socket:
            refused = "is a socket, not a file";
            break;
        case native::FileKind::CharDevice:
            refused = "is a character device, not a file";
            break;
        case native::FileKind::Other:
            refused = "is not a regular file";
            break;
        case native::FileKind::Missing:
        case native::FileKind::Regular:
            break;
    }
    if (refused) {
        err << "brevik-cli: cannot open '" << terminalLine(path) << "': " << refused << "\n";
        return false;
    }
    setMessageBasePath(base, path);
    if (!base.openFile()) {
        err << "brevik-cli: cannot open '" << terminalLine(path) << "': " << base.errorText << "\n";
        return false;
    }
    return true;
}

void runWithProgress(const std::function<void()>& work, const std::function<int()>& percent,
                     std::ostream& err, const std::function<void()>& tick) {
    installInterruptHandler();
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread worker([&] {
        work();
        const std::scoped_lock guard(lock);
        done = true;
        finished.notify_one();
    });
    // A bar only on the terminal's own stream: batch jobs collect their messages elsewhere.
    const bool terminal = &err == &std::cerr && native::stderrIsTerminal();
    const auto start = std::chrono::steady_clock::now();
    bool barShown = false;
    for (std::unique_lock guard(lock);
         !finished.wait_for(guard, std::chrono::milliseconds(50), [&] { return done; });) {
        if (tick) tick();
        if (!terminal || std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
            continue;
        const int pos = std::clamp(percent(), 0, 100);
        const int width = 40, filled = pos * width / 100;
        err << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << pos
            << "%" << std::flush;
        barShown = true;
    }
    worker.join();
    if (barShown) err << "\r" << std::string(50, ' ') << "\r" << std::flush;
}

bool recoverWithProgress(RecoveredBase& base, const std::string& path, std::ostream& err,
                         unsigned threads) {
    base.passThreads = threads;
    base.keepBodyCopies = false;
    if (!openInput(base, path, err)) return false;
    ProgressMilestones progress;
    base.progress = &progress;
    std::exception_ptr failure;  // handed to the caller: nothing may end the process
    // The pass does not watch the interrupt flag: each tick passes it on as a stop request.
    runWithProgress(
        [&] {
            try {
                openMessageBase(base);
            } catch (...) {
                failure = std::current_exception();
            }
        },
        [&] { return std::clamp(progress.highestReached(76) - 74, 0, 1500) * 100 / 1500; }, err,
        [&] {
            if (interrupted) base.requestStop();
        });
    base.progress = nullptr;
    if (failure) std::rethrow_exception(failure);

    if (interrupted) {
        err << "Canceled by user\n";
        return false;
    }
    if (base.resultOk != 1) {
        if (base.errorCode == ERROR_NO_READABLE_BLOCKS)
            err << "brevik-cli: '" << terminalLine(path)
                << "': no readable data blocks (unknown encoding)\n";
        else
            err << "brevik-cli: '" << terminalLine(path)
                << "' is not a readable personal folder file (no block and node index pages "
                   "found)\n";
        return false;
    }
    return true;
}

}  // namespace brevik::cli
