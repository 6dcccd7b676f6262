// Helpers for the desktop program's tests: a settings store in memory, a worker report
// recorder, a slow byte source, and sample files.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "app/task_events.h"
#include "engine/byte_source.h"

namespace brevik::test {

class MemorySettingsStore final : public app::SettingsStore {
  public:
    using Value = std::vector<std::uint8_t>;
    std::map<std::string, std::string> systemStrings, userStrings;
    std::map<std::string, std::uint32_t> systemWords, userWords;
    std::map<std::string, Value> userBytes;

    std::optional<std::string> readString(app::SettingsScope s, const std::string& n) override {
        return find(s == app::SettingsScope::System ? systemStrings : userStrings, n);
    }
    std::optional<std::uint32_t> readWord(app::SettingsScope s, const std::string& n) override {
        return find(s == app::SettingsScope::System ? systemWords : userWords, n);
    }
    std::optional<Value> readBytes(app::SettingsScope s, const std::string& n) override {
        if (s == app::SettingsScope::System) return std::nullopt;
        return find(userBytes, n);
    }
    bool writeWord(const std::string& n, std::uint32_t v) override {
        userWords[n] = v;
        return true;
    }
    bool writeBytes(const std::string& n, const Value& v) override {
        userBytes[n] = v;
        return true;
    }
    void remove(const std::string& n) override {
        userWords.erase(n);
        userBytes.erase(n);
        userStrings.erase(n);
    }

  private:
    template <typename M>
    static std::optional<typename M::mapped_type> find(const M& m, const std::string& n) {
        auto it = m.find(n);
        if (it == m.end()) return std::nullopt;
        return it->second;
    }
};

// Records what the worker reports, from any thread.
class RecordingTaskEvents final : public app::TaskEvents {
  public:
    void taskEnded(app::TaskCode, bool ok) override {
        std::lock_guard lock(mutex_);
        results.push_back(ok);
        changed_.notify_all();
    }
    void showStatusText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        statusTexts.push_back(text);
    }
    void saveProgress(int) override {}

    // Waits for the next report; false when none came in time.
    bool waitForEnd(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return !results.empty(); });
    }
    std::vector<bool> results;
    std::vector<std::string> statusTexts;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

// An image in memory that answers every read after a delay, so a recovery takes long enough
// to be stopped half-way.
inline std::unique_ptr<FailingSource> slowSource(Bytes image, std::chrono::microseconds delay) {
    auto source = std::make_unique<FailingSource>(std::move(image));
    source->onRead([delay](std::uint64_t) { std::this_thread::sleep_for(delay); });
    return source;
}

// Writes a generated sample with `items` live items (plus deleted and orphaned ones) to `path`.
void writeSample(const std::string& path, std::uint64_t items, std::uint64_t deleted = 0,
                 std::uint64_t orphans = 0);
// The bytes of a file.
Bytes readWholeFile(const std::string& path);

}  // namespace brevik::test
