#pragma once

#include "base/scheduler.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace korvane::test {

// The test's main thread as a Scheduler: tasks posted from any thread run inside runUntil() or
// runPosted(), on the thread that calls them.
class PostedTasks final : public Scheduler {
public:
    void post(Task task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_one();
    }
    CancellationToken postAfter(double, Task) override { throw std::logic_error("not used"); }
    CancellationToken runInBackground(TaskPriority, Job) override { throw std::logic_error("not used"); }
    CancellationToken watchReadable(int, Task) override { throw std::logic_error("not used"); }

    // Runs posted tasks until `done` holds or `seconds` pass; returns done().
    template <typename Predicate> bool runUntil(Predicate done, double seconds = 10.0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) {
                return done();
            }
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
        return true;
    }

    // Runs the tasks posted so far, and those they post, without waiting for more.
    void runPosted() {
        for (;;) {
            std::unique_lock lock(mutex_);
            if (tasks_.empty()) {
                return;
            }
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Task> tasks_;
};

} // namespace korvane::test
