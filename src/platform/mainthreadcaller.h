#pragma once

#include <functional>

namespace korvane {

// Runs a short step on the main thread and waits for it, for background work whose platform calls
// (accessibility, clipboard, the frontmost window) belong to the main thread. Call it only from a
// background thread: the main thread never waits for one.
class MainThreadCaller {
public:
    virtual ~MainThreadCaller() = default;

    // Runs `step` on the main thread and returns once it has run: true. False when the main thread
    // did not start it in time (the application is shutting down or hangs); it then never runs.
    virtual bool runSync(const std::function<void()>& step) = 0;
};

} // namespace korvane
