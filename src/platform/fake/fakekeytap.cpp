#include "platform/fake/fakekeytap.h"

namespace korvane {

void FakeKeyTap::start(EventCallback callback) {
    std::lock_guard lock(mutex_);
    if (stopped_ || running_) {
        return;
    }
    callback_ = std::move(callback);
    running_ = true;
}

void FakeKeyTap::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    running_ = false;
    callback_ = nullptr;
}

void FakeKeyTap::setEnabled(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

bool FakeKeyTap::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

bool FakeKeyTap::isConnected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

void FakeKeyTap::setClaimedKeys(KeyClaimSet claims) {
    std::lock_guard lock(mutex_);
    claims_ = std::move(claims);
    ++claimUpdates_;
}

std::optional<bool> FakeKeyTap::deliver(const TapEvent& event) {
    EventCallback callback;
    {
        std::lock_guard lock(mutex_);
        if (!running_ || !enabled_) {
            return std::nullopt;
        }
        callback = callback_;
    }
    // Called unlocked, as a real tap does: the callback may stop the tap or change its claims.
    return callback(event);
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

void FakeKeyTap::setConnected(bool connected) {
    std::lock_guard lock(mutex_);
    connected_ = connected;
}

} // namespace korvane
