#include "app/file_search.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <set>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/task_events.h"

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
    std::vector<Entry> entries;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return entries;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool directory = false, regular = false;
        struct stat st {};
        if (::stat((dir + "/" + name).c_str(), &st) == 0) {
            directory = S_ISDIR(st.st_mode);
            regular = S_ISREG(st.st_mode);
        }
        entries.push_back({name, directory, regular});
    }
    ::closedir(d);
    return entries;
}

// Kernel and device file systems hold no user files, and walking them is slow (/proc alone has
// a folder per process and thread).
bool isPseudoFileSystem(const std::string& dir) {
    struct statfs fs {};
    if (::statfs(dir.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x9fa0:      // proc
        case 0x62656572:  // sysfs
        case 0x1cd1:      // devpts
        case 0x64626720:  // debugfs
        case 0x74726163:  // tracefs
        case 0x73636673:  // securityfs
        case 0x27e0eb:    // cgroup
        case 0x63677270:  // cgroup2
        case 0xcafe4a11:  // bpf
            return true;
        default:
            return dir == "/dev";
    }
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
            if (!enter(dir) || isPseudoFileSystem(dir)) continue;
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
        struct stat st {};
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
        return visited_.insert({st.st_dev, st.st_ino}).second;
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
    std::set<std::pair<dev_t, ino_t>> visited_;
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
