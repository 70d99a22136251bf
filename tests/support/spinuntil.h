#pragma once

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>

namespace korvane::test {

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
