#pragma once

#include <functional>

namespace korvane {

// A queue that runs its tasks one at a time, in the order they were enqueued, away from the main
// thread. Core code that must keep its background steps in order (the text injector) reaches its
// thread through this port; the application installs a WorkerThread, tests a ManualSerialExecutor.
class SerialExecutor {
public:
    using Task = std::function<void()>;

    virtual ~SerialExecutor() = default;

    // Queues `task` behind every task enqueued before it. Any thread.
    virtual void enqueue(Task task) = 0;
};

} // namespace korvane
