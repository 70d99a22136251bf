#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace korvane {

// Hands tasks to the thread pool once their time has come, from a thread of its own: a wait asked for
// by another thread (the key tap's) never wakes the main loop. Any thread may schedule; the thread stops
// with the timer, and tasks not yet due are dropped.
class BackgroundTimer {
public:
    using Clock = std::chrono::steady_clock;

    BackgroundTimer();
    ~BackgroundTimer();
    BackgroundTimer(const BackgroundTimer&) = delete;
    BackgroundTimer& operator=(const BackgroundTimer&) = delete;

    // Calls `due` on the timer's thread at `when`: it must only hand the work on.
    void at(Clock::time_point when, std::function<void()> due);

private:
    void run();

    std::mutex lock_;
    std::condition_variable changed_;
    std::multimap<Clock::time_point, std::function<void()>> waiting_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace korvane
