#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace korvane::x11 {

// Watches one thread's pieces of work from a thread of its own ("korvane-watchdg") and calls
// `onStall` there, once per piece, when a piece takes longer than `bound`. enter() and leave()
// come from the watched thread.
class StallWatchdog {
public:
    using Clock = std::chrono::steady_clock;

    StallWatchdog(Clock::duration bound, std::function<void()> onStall);
    ~StallWatchdog();
    StallWatchdog(const StallWatchdog&) = delete;
    StallWatchdog& operator=(const StallWatchdog&) = delete;

    void enter();
    void leave();

private:
    void run();

    const Clock::duration bound_;
    const std::function<void()> onStall_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> enteredAt_;
    bool reported_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace korvane::x11
