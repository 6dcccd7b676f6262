#include "app/file_search.h"

#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/task_events.h"
#include "engine/native_files.h"

namespace brevik::app {

namespace {

constexpr int kStatusEvery = 102;
constexpr std::size_t kMaxDirLength = 4096;

bool hasSuffix(const std::string& name, const char* suffix) {
    const std::size_t n = std::char_traits<char>::length(suffix);
    if (name.size() <= n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = name[name.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

struct Entry {
    std::string name;
    bool directory;
    bool dataFile;  // a regular file: a pipe or a device named *.pst would block the reader
};

// The entries of `dir` with their types; links are followed so that a linked folder is
// searched like any other (the visited set keeps loops out).
std::vector<Entry> listDirectory(const std::string& dir) {
    namespace fs = std::filesystem;
    std::vector<Entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(native::pathFromUtf8(dir), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        const fs::file_status st = it->status(typeError);  // follows links
        entries.push_back({native::utf8FromPath(it->path().filename()),
                           !typeError && fs::is_directory(st),
                           !typeError && fs::is_regular_file(st)});
    }
    return entries;
}

class Search {
  public:
    Search(AppState& state, TaskEvents* events) : state_(state), events_(events) {}

    void run(const std::string& root) {
        // An explicit stack: folder depth is unbounded on disk, the thread's stack is not.
        std::vector<std::string> pending{root};
        while (!pending.empty()) {
            if (state_.searchResult.load() == 0) return;
            std::string dir = std::move(pending.back());
            pending.pop_back();
            if (!enter(dir) || native::isPseudoFileSystem(dir)) continue;
            report(dir);
            if (state_.searchResult.load() == 0) return;
            addBasesInDirectory(state_, dir);
            const std::vector<Entry> entries = listDirectory(dir);
            // Reverse onto the stack so that folders are searched in listing order.
            for (auto it = entries.rbegin(); it != entries.rend(); ++it)
                if (it->directory && dir.size() + it->name.size() + 1 < kMaxDirLength)
                    pending.push_back(dir == "/" ? "/" + it->name : dir + "/" + it->name);
        }
    }

  private:
    bool enter(const std::string& dir) {
        if (native::fileKind(dir) != native::FileKind::Folder) return false;
        const std::string identity = native::fileIdentity(dir);
        return !identity.empty() && visited_.insert(identity).second;
    }

    void report(const std::string& dir) {
        if (state_.stopEvent.isSet()) {
            state_.searchResult = 0;
            if (events_) events_->showStatusText("Closing...");
            return;
        }
        if (++state_.searchStatusCounter < kStatusEvery) return;
        state_.searchStatusCounter = 0;
        if (events_) events_->showStatusText("Searching " + dir);
    }

    AppState& state_;
    TaskEvents* events_;
    std::set<std::string> visited_;  // file identities of the folders entered
};

}  // namespace

bool isMessageBaseName(const std::string& name) {
    return hasSuffix(name, ".pst") || hasSuffix(name, ".ost");
}

int addBasesInDirectory(AppState& state, const std::string& dir) {
    int added = 0;
    for (const Entry& e : listDirectory(dir)) {
        // A folder named like a data file is searched into, not added as one.
        if (!e.dataFile || !isMessageBaseName(e.name)) continue;
        if (state.addBase(dir, e.name)) ++added;
    }
    return added;
}

void searchPath(AppState& state, const std::string& dir, TaskEvents* events) {
    Search(state, events).run(dir);
}

}  // namespace brevik::app
