#pragma once

#include "base/workerpool.h"

#include <cstddef>
#include <deque>
#include <utility>

namespace korvane {

// A WorkerPool for tests: jobs wait until the test runs them, in any order it likes, on the calling
// thread, so that completion orders and jobs that never finish can be staged. One thread only.
class ManualWorkerPool final : public WorkerPool {
public:
    void run(Job job) override { jobs_.push_back(std::move(job)); }

    std::size_t pendingCount() const { return jobs_.size(); }

    // Runs the job at `index` among the waiting ones (0 is the oldest) and removes it.
    void runJob(std::size_t index) {
        Job job = std::move(jobs_.at(index));
        jobs_.erase(jobs_.begin() + static_cast<std::ptrdiff_t>(index));
        job();
    }

    // Runs the waiting jobs, and those they queue, oldest first.
    void runAll() {
        while (!jobs_.empty()) {
            runJob(0);
        }
    }

private:
    std::deque<Job> jobs_;
};

} // namespace korvane
