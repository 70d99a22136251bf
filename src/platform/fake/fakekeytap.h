#pragma once

#include "platform/keytap.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace korvane {

// A key tap driven by tests: deliver() hands an event to the tap thread's loop and waits for the
// drop decision. Any thread.
class FakeKeyTap final : public KeyTap {
public:
    void run(EventCallback callback) override;
    void stop() override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;
    void setClaimedKeys(KeyClaimSet claims) override;

    // Runs `event` through the loop and returns whether it was dropped, or nothing when the loop
    // is not running (or ends) before it gets there, or the tap is disabled.
    std::optional<bool> deliver(const TapEvent& event);

    // Blocks until run() has started (true) or `seconds` passed (false).
    bool waitUntilRunning(double seconds) const;

    bool isRunning() const;
    bool wasStopped() const;
    KeyClaimSet claimedKeys() const;
    int claimUpdateCount() const;

    // Simulates the system switching the tap off behind Korvane's back.
    void disableBySystem();

private:
    struct Pending {
        TapEvent event;
        std::optional<bool> result;
        bool done = false;
    };

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Pending*> queue_;
    bool running_ = false;
    bool stopped_ = false;
    bool enabled_ = true;
    KeyClaimSet claims_;
    int claimUpdates_ = 0;
};

} // namespace korvane
