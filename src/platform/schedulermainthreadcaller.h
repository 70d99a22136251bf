#pragma once

#include "base/scheduler.h"
#include "platform/mainthreadcaller.h"

namespace korvane {

// Reaches the main thread through the main Scheduler's queue and blocks the calling background
// thread until the step has run there, or gives up after `startLimitSeconds` without it starting.
// Any background thread.
class SchedulerMainThreadCaller final : public MainThreadCaller {
public:
    explicit SchedulerMainThreadCaller(Scheduler& mainScheduler, double startLimitSeconds = 10.0)
        : mainScheduler_(mainScheduler)
        , startLimitSeconds_(startLimitSeconds) {}

    bool runSync(const std::function<void()>& step) override;

private:
    Scheduler& mainScheduler_;
    double startLimitSeconds_;
};

} // namespace korvane
