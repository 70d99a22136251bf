#pragma once

#include "base/workerpool.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvane {

// A WorkerPool of its own threads, started on demand up to `maxThreads` and then kept; jobs beyond
// that wait in order. The destructor lets the running jobs finish, drops the queued ones and joins.
class ThreadWorkerPool final : public WorkerPool {
public:
    // `name` names the threads for debuggers and `top`, cut to the 15 bytes a thread name may have.
    ThreadWorkerPool(std::string name, std::size_t maxThreads);
    ~ThreadWorkerPool() override;
    ThreadWorkerPool(const ThreadWorkerPool&) = delete;
    ThreadWorkerPool& operator=(const ThreadWorkerPool&) = delete;

    void run(Job job) override;

    std::size_t threadCount() const;

private:
    void work();

    const std::string name_;
    const std::size_t maxThreads_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace korvane
