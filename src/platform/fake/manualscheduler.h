#pragma once

#include "platform/fake/fakeclock.h"
#include "base/scheduler.h"

#include <cstdint>
#include <deque>
#include <map>
#include <utility>

namespace korvane {

class FakeClock;

// A Scheduler for tests: nothing runs until the test says so, and time is virtual.
// Main-thread tasks run from runUntilIdle() and advance(); background jobs run on the calling
// thread from runBackgroundJobs() and runUntilIdle(), so a test can hold them back to stage a race.
// Use from one thread only.
class ManualScheduler final : public Scheduler {
public:
    ManualScheduler() = default;

    void post(Task task) override;
    CancellationToken postAfter(double seconds, Task task) override;
    CancellationToken runInBackground(TaskPriority priority, Job job) override;
    // The job waits apart from the main-thread tasks, as the application's scheduler has it wait.
    CancellationToken runInBackgroundAfter(double seconds, TaskPriority priority, Job job) override;
    CancellationToken watchReadable(int fd, Task onReadable) override;

    // Virtual seconds since the scheduler was created.
    double now() const { return now_; }

    // Keeps `clock` in step with virtual time (its wall and monotonic time advance with now()).
    void attachClock(FakeClock* clock) { clock_ = clock; }

    // Runs main-thread tasks that are due and background jobs, including those they schedule,
    // until none is left. Virtual time does not move.
    void runUntilIdle();

    // Moves virtual time forward by `seconds`, running every task in due order at its due time;
    // background jobs scheduled on the way run too.
    void advance(double seconds);

    // Runs the queued background jobs (and the jobs they queue) but no main-thread task.
    void runBackgroundJobs();

    // Queues a main-thread task that runs the readers watching `fd` (those still watching when it
    // runs), as the main loop does when the descriptor becomes readable.
    void markReadable(int fd);

    // Readers registered through watchReadable() and not cancelled.
    std::size_t readerCount() const;

    // Main-thread tasks waiting to run (due or not), counting cancelled ones until they are reached.
    std::size_t pendingTaskCount() const { return timed_.size(); }
    // Background jobs queued, or waiting for their time.
    std::size_t pendingJobCount() const { return jobs_.size() + timedJobs_.size(); }

private:
    struct TimedTask {
        Task task;
        CancellationToken token;
    };
    struct Reader {
        int fd;
        Task onReadable;
        CancellationToken token;
    };
    using Key = std::pair<double, std::uint64_t>;

    bool runOneDue(double limit);
    void moveTo(double time);

    double now_ = 0.0;
    std::uint64_t sequence_ = 0;
    std::map<Key, TimedTask> timed_;
    std::map<Key, std::pair<Job, CancellationToken>> timedJobs_;
    std::deque<std::pair<Job, CancellationToken>> jobs_;
    std::map<std::uint64_t, Reader> readers_;
    FakeClock* clock_ = nullptr;
};

} // namespace korvane
