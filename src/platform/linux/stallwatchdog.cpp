#include "platform/linux/stallwatchdog.h"

#include <pthread.h>

namespace korvane::x11 {

StallWatchdog::StallWatchdog(Clock::duration bound, std::function<void()> onStall)
    : bound_(bound)
    , onStall_(std::move(onStall))
    , thread_([this] { run(); }) {}

StallWatchdog::~StallWatchdog() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void StallWatchdog::enter() {
    {
        std::lock_guard lock(mutex_);
        enteredAt_ = Clock::now();
        reported_ = false;
    }
    changed_.notify_all();
}

void StallWatchdog::leave() {
    std::lock_guard lock(mutex_);
    enteredAt_.reset();
}

void StallWatchdog::run() {
    pthread_setname_np(pthread_self(), "korvane-watchdg");
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!enteredAt_ || reported_) {
            changed_.wait(lock);
            continue;
        }
        const Clock::time_point deadline = *enteredAt_ + bound_;
        if (Clock::now() < deadline) {
            changed_.wait_until(lock, deadline);
            continue;
        }
        reported_ = true;
        lock.unlock();
        onStall_();
        lock.lock();
    }
}

} // namespace korvane::x11
