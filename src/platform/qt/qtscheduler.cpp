#include "platform/qt/qtscheduler.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QThread>
#include <QThreadPool>
#include <cmath>

namespace korvane {

QtScheduler::QtScheduler()
    : context_(std::make_unique<QObject>()) {
    // A cancelled watch leaves its notifier behind until it fires again; this collects the ones
    // whose descriptor stays quiet.
    sweepTimer_.setInterval(1000);
    QObject::connect(&sweepTimer_, &QTimer::timeout, context_.get(), [this] { sweepWatches(); });
}

QtScheduler::~QtScheduler() = default;

void QtScheduler::post(Task task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

CancellationToken QtScheduler::postAfter(double seconds, Task task) {
    CancellationToken token;
    const int milliseconds = seconds > 0 ? static_cast<int>(std::ceil(seconds * 1000.0)) : 0;
    QObject* context = context_.get();
    auto start = [context, milliseconds, token, task = std::move(task)]() mutable {
        QTimer::singleShot(milliseconds, context, [token, task = std::move(task)] {
            if (!token.isCancelled()) {
                task();
            }
        });
    };
    // The timer belongs to the main loop whoever asks: asked elsewhere, it is started from there. Asked
    // there (each key in a terminal of several tabs), it starts at once, without waking the loop twice.
    if (QThread::currentThread() == context->thread()) {
        start();
    } else {
        post(std::move(start));
    }
    return token;
}

CancellationToken QtScheduler::runInBackground(TaskPriority priority, Job job) {
    CancellationToken token;
    int queuePriority = 0;
    switch (priority) {
    case TaskPriority::userInitiated:
        queuePriority = 2;
        break;
    case TaskPriority::utility:
        queuePriority = 1;
        break;
    case TaskPriority::background:
        queuePriority = 0;
        break;
    }
    QThreadPool::globalInstance()->start(
        [token, job = std::move(job)] {
            if (!token.isCancelled()) {
                job(token);
            }
        },
        queuePriority);
    return token;
}

CancellationToken QtScheduler::runInBackgroundAfter(double seconds, TaskPriority priority, Job job) {
    CancellationToken token;
    const auto wait = std::chrono::duration_cast<BackgroundTimer::Clock::duration>(
        std::chrono::duration<double>(seconds > 0 ? seconds : 0.0));
    backgroundTimer_.at(BackgroundTimer::Clock::now() + wait,
                        [this, token, priority, job = std::move(job)]() mutable {
                            runWaitedJob(token, priority, std::move(job));
                        });
    return token;
}

CancellationToken QtScheduler::watchReadable(int fd, Task onReadable) {
    CancellationToken token;
    post([this, fd, token, onReadable = std::move(onReadable)]() mutable {
        addWatch(fd, std::move(onReadable), token);
    });
    return token;
}

void QtScheduler::addWatch(int fd, Task onReadable, CancellationToken token) {
    if (token.isCancelled()) {
        return;
    }
    const std::uint64_t id = nextWatch_++;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, context_.get(),
                     [this, id, onReadable = std::move(onReadable)] {
                         const auto found = watches_.find(id);
                         if (found == watches_.end()) {
                             return;
                         }
                         if (found->second.token.isCancelled()) {
                             found->second.notifier->setEnabled(false);
                             found->second.notifier.release()->deleteLater();
                             watches_.erase(found);
                             return;
                         }
                         onReadable();
                     });
    watches_.emplace(id, Watch{token, std::move(notifier)});
    if (!sweepTimer_.isActive()) {
        sweepTimer_.start();
    }
}

void QtScheduler::sweepWatches() {
    for (auto it = watches_.begin(); it != watches_.end();) {
        if (it->second.token.isCancelled()) {
            it->second.notifier->setEnabled(false);
            it->second.notifier.release()->deleteLater();
            it = watches_.erase(it);
        } else {
            ++it;
        }
    }
    if (watches_.empty()) {
        sweepTimer_.stop();
    }
}

} // namespace korvane
