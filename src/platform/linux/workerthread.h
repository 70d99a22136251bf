#pragma once

#include "base/serialexecutor.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace korvane {

// A SerialExecutor on one thread of its own, named for debuggers and `top`. The thread starts with
// the object; the destructor lets the running task finish, drops the tasks still queued and joins.
class WorkerThread final : public SerialExecutor {
public:
    // `name` is cut to the 15 bytes a thread name may have.
    explicit WorkerThread(std::string name);
    ~WorkerThread() override;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void enqueue(Task task) override;

private:
    void run();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace korvane
