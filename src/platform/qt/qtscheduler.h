#pragma once

#include "base/scheduler.h"
#include "platform/qt/backgroundtimer.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <map>
#include <memory>

class QSocketNotifier;

namespace korvane {

// The application's Scheduler: main-thread tasks and timers on the Qt event loop, background jobs
// on the global thread pool (those asked for later waited for by a thread of its own), readable
// descriptors through socket notifiers. Created and destroyed on the main thread after the application
// object; tasks posted after its destruction are dropped.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    void post(Task task) override;
    CancellationToken postAfter(double seconds, Task task) override;
    CancellationToken runInBackground(TaskPriority priority, Job job) override;
    CancellationToken runInBackgroundAfter(double seconds, TaskPriority priority, Job job) override;
    CancellationToken watchReadable(int fd, Task onReadable) override;

private:
    struct Watch {
        CancellationToken token;
        std::unique_ptr<QSocketNotifier> notifier;
    };

    void addWatch(int fd, Task onReadable, CancellationToken token);
    void sweepWatches();

    // Lives on the main thread; queued calls die with it.
    std::unique_ptr<QObject> context_;
    // Main thread only.
    std::map<std::uint64_t, Watch> watches_;
    std::uint64_t nextWatch_ = 0;
    QTimer sweepTimer_;
    // Waits for the background jobs asked for later; stopped before the context goes.
    BackgroundTimer backgroundTimer_;
};

} // namespace korvane
