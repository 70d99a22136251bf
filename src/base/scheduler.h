#pragma once

#include "base/cancellationtoken.h"

#include <functional>

namespace korvane {

enum class TaskPriority { userInitiated, utility, background };

// Where work runs: the main thread (immediately, after a delay or when a descriptor becomes
// readable) or a background thread.
// Core code reaches threads and timers only through this port; the application installs the
// main-loop implementation, tests a ManualScheduler with virtual time.
class Scheduler {
public:
    using Task = std::function<void()>;
    using Job = std::function<void(const CancellationToken&)>;

    virtual ~Scheduler() = default;

    // Runs `task` on the main thread after everything posted before it. Any thread may post.
    virtual void post(Task task) = 0;

    // Runs `task` on the main thread once `seconds` have passed, unless the returned token is
    // cancelled first.
    virtual CancellationToken postAfter(double seconds, Task task) = 0;

    // Runs `job` on a background thread. The job reads the token to stop early; a job whose token
    // is cancelled before it starts does not run.
    virtual CancellationToken runInBackground(TaskPriority priority, Job job) = 0;

    // Runs `job` on a background thread once `seconds` have passed, unless the returned token is
    // cancelled first. Any thread may ask. By default the wait is a main-thread timer; the application's
    // scheduler waits off the main thread, so that what a key starts in the background wakes it never.
    virtual CancellationToken runInBackgroundAfter(double seconds, TaskPriority priority, Job job) {
        CancellationToken token;
        postAfter(seconds, [this, token, priority, job = std::move(job)]() mutable {
            runWaitedJob(token, priority, std::move(job));
        });
        return token;
    }

    // Runs `onReadable` on the main thread whenever `fd` has data to read, until the returned token
    // is cancelled. The callback should read all that is available, or it is called again at once.
    virtual CancellationToken watchReadable(int fd, Task onReadable) = 0;

protected:
    // Runs `job` in the background, seeing `token`, unless that was cancelled while the job waited.
    void runWaitedJob(const CancellationToken& token, TaskPriority priority, Job job) {
        if (token.isCancelled()) {
            return;
        }
        runInBackground(priority, [token, job = std::move(job)](const CancellationToken&) {
            if (!token.isCancelled()) {
                job(token);
            }
        });
    }
};

} // namespace korvane
