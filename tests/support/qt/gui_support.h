// Helpers for widget tests: waiting on the event loop and writing screenshots.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QWidget>
#include <functional>

namespace brevik::test {

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
inline bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Writes a PNG of `w` to the build's screenshot folder; returns its path.
inline QString screenshot(QWidget* w, const QString& name) {
    const QString dir = QStringLiteral(BREVIK_SCREENSHOT_DIR);
    QDir().mkpath(dir);
    QCoreApplication::processEvents();  // pending layout changes first
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    w->grab().save(path);
    return path;
}

}  // namespace brevik::test
