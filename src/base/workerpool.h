#pragma once

#include <functional>

namespace korvane {

// A set of background threads kept for one kind of work that may block for seconds (the project
// scan's providers), so that it never holds up the threads that answer keystrokes. Core code reaches
// it through this port; the application installs a ThreadWorkerPool, tests a ManualWorkerPool.
class WorkerPool {
public:
    using Job = std::function<void()>;

    virtual ~WorkerPool() = default;

    // Runs `job` on one of the pool's threads. Any thread may call it, also a job of the pool.
    virtual void run(Job job) = 0;
};

} // namespace korvane
