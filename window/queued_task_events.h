// Worker reports queued to the main window's thread. The worker never waits for the window,
// and no report is lost while the window lives; after `detach` reports go nowhere.
#pragma once

#include <QMetaObject>
#include <QProgressBar>
#include <mutex>

#include "app/task_events.h"
#include "window/main_window.h"

namespace brevik::app {

class QueuedTaskEvents final : public TaskEvents {
  public:
    explicit QueuedTaskEvents(MainWindow* window) : window_(window) {}

    void detach() {
        std::lock_guard lock(mutex_);
        window_ = nullptr;
    }
    void taskEnded(TaskCode code, bool ok) override {
        post([code, ok](MainWindow& w) { w.onTaskEnded(code, ok); });
    }
    void showStatusText(const std::string& text) override {
        post([t = QString::fromStdString(text)](MainWindow& w) { w.setStatus(t); });
    }
    void saveProgress(int percent) override {
        post([percent](MainWindow& w) {
            if (w.progressBar_) w.progressBar_->setValue(percent);
        });
    }

  private:
    template <typename F>
    void post(F&& f) {
        std::lock_guard lock(mutex_);
        if (!window_) return;
        MainWindow* w = window_;
        QMetaObject::invokeMethod(
            w, [w, f = std::forward<F>(f)] { f(*w); }, Qt::QueuedConnection);
    }

    std::mutex mutex_;
    MainWindow* window_;
};

}  // namespace brevik::app
