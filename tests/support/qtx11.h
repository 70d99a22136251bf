#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <cstdio>
#include <cstdlib>

// Helpers of the X11 tests that run Qt: the application on the session's display, and waiting while
// its main loop runs. For test programs that link Qt Widgets.
namespace korvane::test {

// Makes the test program's QApplication on the X display once, when there is a display.
inline void ensureX11Application(const char* programName) {
    static int argc = 1;
    static char name[64];
    static char* argv[] = {name, nullptr};
    if (std::getenv("DISPLAY") != nullptr && QCoreApplication::instance() == nullptr) {
        std::snprintf(name, sizeof name, "%s", programName);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        new QApplication(argc, argv);
    }
}

// Like pollUntil, but keeps the Qt main loop running while it waits, as the application's would: the
// events the test waits for arrive through it. For test programs that link Qt.
template <typename Predicate> bool spinUntil(Predicate predicate, double seconds = 20.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace korvane::test
