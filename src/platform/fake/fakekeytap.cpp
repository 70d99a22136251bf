#include "platform/fake/fakekeytap.h"

#include <chrono>

namespace korvane {

void FakeKeyTap::run(EventCallback callback) {
    std::unique_lock lock(mutex_);
    running_ = true;
    changed_.notify_all();
    while (!stopped_) {
        if (queue_.empty()) {
            changed_.wait(lock);
            continue;
        }
        Pending* pending = queue_.front();
        queue_.pop_front();
        if (enabled_) {
            lock.unlock();
            bool drop = callback(pending->event);
            lock.lock();
            pending->result = drop;
        }
        pending->done = true;
        changed_.notify_all();
    }
    for (Pending* pending : queue_) {
        pending->done = true;
    }
    queue_.clear();
    running_ = false;
    changed_.notify_all();
}

void FakeKeyTap::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

void FakeKeyTap::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

bool FakeKeyTap::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void FakeKeyTap::setClaimedKeys(KeyClaimSet claims) {
    std::lock_guard lock(mutex_);
    claims_ = std::move(claims);
    ++claimUpdates_;
}

std::optional<bool> FakeKeyTap::deliver(const TapEvent& event) {
    Pending pending{event, std::nullopt, false};
    std::unique_lock lock(mutex_);
    if (!running_ || stopped_) {
        return std::nullopt;
    }
    queue_.push_back(&pending);
    changed_.notify_all();
    changed_.wait(lock, [&] { return pending.done; });
    return pending.result;
}

bool FakeKeyTap::waitUntilRunning(double seconds) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return running_; });
}

bool FakeKeyTap::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool FakeKeyTap::wasStopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

KeyClaimSet FakeKeyTap::claimedKeys() const {
    std::lock_guard lock(mutex_);
    return claims_;
}

int FakeKeyTap::claimUpdateCount() const {
    std::lock_guard lock(mutex_);
    return claimUpdates_;
}

void FakeKeyTap::disableBySystem() {
    std::lock_guard lock(mutex_);
    enabled_ = false;
}

} // namespace korvane
