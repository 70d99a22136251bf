#pragma once

#include "base/scheduler.h"

#include <utility>

namespace korvane {

// Runs a task once a quiet period has passed since the last schedule() call; each call replaces the
// pending run. Main thread; the task runs on the main thread.
class Debounce {
public:
    Debounce(Scheduler& scheduler, double interval)
        : scheduler_(scheduler)
        , interval_(interval) {}
    ~Debounce() { cancel(); }

    Debounce(const Debounce&) = delete;
    Debounce& operator=(const Debounce&) = delete;

    double interval() const { return interval_; }

    void schedule(Scheduler::Task task) {
        pending_.cancel();
        pending_ = scheduler_.postAfter(interval_, std::move(task));
    }

    void cancel() { pending_.cancel(); }

private:
    Scheduler& scheduler_;
    double interval_;
    CancellationToken pending_;
};

} // namespace korvane
