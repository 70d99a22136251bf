#include "platform/qt/backgroundtimer.h"

namespace korvane {

BackgroundTimer::BackgroundTimer()
    : thread_([this] { run(); }) {}

BackgroundTimer::~BackgroundTimer() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_one();
    thread_.join();
}

void BackgroundTimer::at(Clock::time_point when, std::function<void()> due) {
    bool earliest = false;
    {
        std::lock_guard guard(lock_);
        earliest = waiting_.empty() || when < waiting_.begin()->first;
        waiting_.emplace(when, std::move(due));
    }
    // A later time than the one waited for is found when that one comes.
    if (earliest) {
        changed_.notify_one();
    }
}

void BackgroundTimer::run() {
    std::unique_lock guard(lock_);
    while (!stopping_) {
        if (waiting_.empty()) {
            changed_.wait(guard);
            continue;
        }
        const auto when = waiting_.begin()->first;
        if (Clock::now() < when) {
            changed_.wait_until(guard, when);
            continue;
        }
        auto due = std::move(waiting_.begin()->second);
        waiting_.erase(waiting_.begin());
        guard.unlock();
        due();
        guard.lock();
    }
}

} // namespace korvane
