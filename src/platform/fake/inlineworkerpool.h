#pragma once

#include "base/workerpool.h"

namespace korvane {

// A WorkerPool for tests that runs each job at once on the calling thread, before `run` returns.
class InlineWorkerPool final : public WorkerPool {
public:
    void run(Job job) override { job(); }
};

} // namespace korvane
