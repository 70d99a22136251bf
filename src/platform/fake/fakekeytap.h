#pragma once

#include "platform/keytap.h"

#include <mutex>
#include <optional>

namespace korvane {

// A key tap driven by tests: deliver() runs the callback at once on the calling thread, which
// stands in for the tap's thread. Any thread.
class FakeKeyTap final : public KeyTap {
public:
    void start(EventCallback callback) override;
    void stop() override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;
    bool isConnected() const override;
    void setClaimedKeys(KeyClaimSet claims) override;

    // Hands `event` to the callback and returns whether it was dropped, or nothing when the tap is
    // not running or is disabled.
    std::optional<bool> deliver(const TapEvent& event);

    bool isRunning() const;
    bool wasStopped() const;
    KeyClaimSet claimedKeys() const;
    int claimUpdateCount() const;

    // Simulates the system switching the tap off behind Korvane's back.
    void disableBySystem();
    // Simulates losing and regaining the display.
    void setConnected(bool connected);

private:
    mutable std::mutex mutex_;
    EventCallback callback_;
    bool running_ = false;
    bool stopped_ = false;
    bool enabled_ = true;
    bool connected_ = true;
    KeyClaimSet claims_;
    int claimUpdates_ = 0;
};

} // namespace korvane
