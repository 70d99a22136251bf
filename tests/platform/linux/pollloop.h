#pragma once

#include "base/scheduler.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace korvane::test {

// A minimal real-time main loop for integration tests: timers on the steady clock and readers
// served with poll(). Background jobs run on the loop too. Use from one thread only.
class PollLoop final : public Scheduler {
public:
    void post(Task task) override;
    CancellationToken postAfter(double seconds, Task task) override;
    CancellationToken runInBackground(TaskPriority priority, Job job) override;
    CancellationToken watchReadable(int fd, Task onReadable) override;

    // Runs the loop until `done` holds or `timeoutSeconds` have passed; returns done().
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);

    // Runs the loop for `seconds`.
    void runFor(double seconds);

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    struct Reader {
        int fd;
        Task onReadable;
        CancellationToken token;
    };

    void runOnce(TimePoint deadline);

    std::uint64_t sequence_ = 0;
    std::map<std::pair<TimePoint, std::uint64_t>, std::pair<Task, CancellationToken>> timers_;
    std::vector<Reader> readers_;
};

} // namespace korvane::test
