#pragma once

#include <QApplication>

namespace korvane::test {

// The Qt application of the shell tests, on the offscreen platform. Made once.
inline void ensureShellApplication() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "korvane_shell_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
}

} // namespace korvane::test
