#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/scheduler.h"
#include "input/keywithholding.h"
#include "platform/accessibilitytrust.h"
#include "platform/keytapbackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace korvane {

// The policy of the system-wide keyboard and mouse tap: asks a handler, on the key tap's thread,
// whether each key-down is withheld from the focused application, reports mouse-downs, re-enables a
// tap the system switched off and stops once when the accessibility permission goes away. Started
// and stopped on the main thread; hold it in a std::shared_ptr (tap callbacks and the health check
// refer to it).
class EventTap : public std::enable_shared_from_this<EventTap> {
public:
    using Handler = std::function<bool(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                       std::uint64_t flags)>;

    static constexpr double healthCheckInterval = 5.0;
    static constexpr double latencyThresholdMs = 5.0;

    EventTap(std::shared_ptr<KeyTapBackend> backend, std::shared_ptr<AccessibilityTrust> trust,
             Scheduler& mainScheduler, const Clock& clock = SystemClock::shared());
    ~EventTap();
    EventTap(const EventTap&) = delete;
    EventTap& operator=(const EventTap&) = delete;

    // Installs the handler and starts the tap; false when the tap could not be created.
    bool start(Handler handler);
    // Stops the tap and the health check. Any thread, including the tap's.
    void stop();
    // The permission went, as its owner may learn from the trust port before the tap's own check: a
    // running tap says so as that check does, once, and stops. onPermissionRevoked is not called: the
    // caller is its owner. Main thread.
    void stopForRevokedPermission();

    // Lets the backend claim the keys the detector would withhold, and routes keys that arrived
    // unclaimed to it. Set before start().
    void setKeyWithholding(std::shared_ptr<KeyWithholding> withholding);

    // Set by the shell before start(); invoked on the thread that noticed the event.
    std::function<void()> onTapReenabled;
    std::function<void()> onPermissionRevoked;
    std::function<void()> onMouseDown;

private:
    bool handleEvent(const TapEvent& event);
    // Every unmarked key-down, timed; whatever it takes past the threshold is logged.
    bool handleKey(const TapEvent& event);
    bool callHandler(const TapEvent& event);
    // A key that has reached the application already; never dropped.
    bool deliverKey(const TapEvent& event);
    void reenable();
    void reconnected();
    void handleRevocation();
    void scheduleHealthCheck(std::uint64_t generation);
    void checkHealth(std::uint64_t generation);
    void refreshClaimedKeys();

    std::shared_ptr<KeyTapBackend> backend_;
    std::shared_ptr<AccessibilityTrust> trust_;
    Scheduler& mainScheduler_;
    const Clock& clock_;

    // Guards every member below; held only for the read or write itself.
    mutable std::mutex lock_;
    std::shared_ptr<KeyTap> tap_;
    Handler handler_;
    std::optional<CancellationToken> healthCheckTimer_;
    std::uint64_t healthCheckGeneration_ = 0;
    bool didHandlePermissionRevocation_ = false;
    std::shared_ptr<KeyWithholding> withholding_;
};

} // namespace korvane
