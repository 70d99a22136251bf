#pragma once

#include "base/serialexecutor.h"

#include <deque>
#include <mutex>

namespace korvane {

// A SerialExecutor for tests: tasks wait until the test runs them, on the test's own thread, so a
// test can stage what happens between enqueueing a job and running it.
class ManualSerialExecutor final : public SerialExecutor {
public:
    void enqueue(Task task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }

    // Runs the queued tasks, and those they enqueue, in order; returns how many ran.
    std::size_t runAll() {
        std::size_t count = 0;
        while (runOne()) {
            ++count;
        }
        return count;
    }

    bool runOne() {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return false;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        return true;
    }

    std::size_t pendingCount() const {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

private:
    mutable std::mutex mutex_;
    std::deque<Task> tasks_;
};

} // namespace korvane
