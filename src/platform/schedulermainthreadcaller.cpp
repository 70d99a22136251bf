#include "platform/schedulermainthreadcaller.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace korvane {
namespace {

// Shared with the posted task, which may outlive a caller that gave up.
struct Rendezvous {
    std::mutex mutex;
    std::condition_variable done;
    bool started = false;
    bool finished = false;
    bool abandoned = false;
};

} // namespace

bool SchedulerMainThreadCaller::runSync(const std::function<void()>& step) {
    auto rendezvous = std::make_shared<Rendezvous>();
    // The step is referenced, not copied: the caller waits until it has run, or abandons it first.
    const std::function<void()>* stepPointer = &step;
    mainScheduler_.post([rendezvous, stepPointer] {
        {
            std::lock_guard lock(rendezvous->mutex);
            if (rendezvous->abandoned) {
                return;
            }
            rendezvous->started = true;
        }
        (*stepPointer)();
        {
            std::lock_guard lock(rendezvous->mutex);
            rendezvous->finished = true;
        }
        rendezvous->done.notify_all();
    });
    std::unique_lock lock(rendezvous->mutex);
    const auto limit = std::chrono::duration<double>(startLimitSeconds_);
    if (!rendezvous->done.wait_for(lock, limit, [&] { return rendezvous->started; })) {
        rendezvous->abandoned = true;
        return false;
    }
    rendezvous->done.wait(lock, [&] { return rendezvous->finished; });
    return true;
}

} // namespace korvane
