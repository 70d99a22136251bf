#include "input/eventtap.h"

#include "base/diagnostics.h"

#include <chrono>
#include <fmt/format.h>

namespace korvane {
namespace {

constexpr const char* revocationLine =
    "Accessibility permission revoked while event tap is active. Stopping event tap.";

} // namespace

EventTap::EventTap(std::shared_ptr<KeyTapBackend> backend, std::shared_ptr<AccessibilityTrust> trust,
                   Scheduler& mainScheduler, const Clock& clock)
    : backend_(std::move(backend))
    , trust_(std::move(trust))
    , mainScheduler_(mainScheduler)
    , clock_(clock) {}

EventTap::~EventTap() {
    // Quitting stops the tap before it goes; only a tap still running is stopped (and said) here.
    bool running = false;
    {
        std::lock_guard guard(lock_);
        running = tap_ != nullptr;
    }
    if (running) {
        stop();
    }
}

void EventTap::setKeyWithholding(std::shared_ptr<KeyWithholding> withholding) {
    std::lock_guard guard(lock_);
    withholding_ = std::move(withholding);
}

bool EventTap::start(Handler handler) {
    bool alreadyRunning = false;
    {
        std::lock_guard guard(lock_);
        alreadyRunning = tap_ != nullptr;
    }
    // A second start would leave the first tap running unowned; end it first.
    if (alreadyRunning) {
        stop();
    }
    std::shared_ptr<KeyWithholding> withholding;
    {
        std::lock_guard guard(lock_);
        handler_ = std::move(handler);
        didHandlePermissionRevocation_ = false;
        withholding = withholding_;
    }

    std::shared_ptr<KeyTap> tap = backend_->createTap();
    if (!tap) {
        diagnostic("Failed to create event tap. Is Accessibility permission granted?");
        return false;
    }
    std::uint64_t generation = 0;
    {
        std::lock_guard guard(lock_);
        tap_ = tap;
        generation = ++healthCheckGeneration_;
    }

    std::weak_ptr<EventTap> weak = weak_from_this();
    // The tap must not keep the EventTap alive: its callback reaches it only through the weak pointer.
    tap->start([weak](const TapEvent& event) {
        auto self = weak.lock();
        return self ? self->handleEvent(event) : false;
    });

    if (withholding) {
        withholding->setOnWithheldKeysChanged([weak] {
            if (auto self = weak.lock()) {
                self->refreshClaimedKeys();
            }
        });
        refreshClaimedKeys();
    }
    scheduleHealthCheck(generation);
    diagnostic("Event tap started on dedicated thread");
    return true;
}

bool EventTap::handleEvent(const TapEvent& event) {
    switch (event.type) {
    case TapEvent::Type::mouseDown: {
        std::function<void()> callback;
        {
            std::lock_guard guard(lock_);
            callback = onMouseDown;
        }
        if (callback) {
            callback();
        }
        return false;
    }
    case TapEvent::Type::tapDisabledByTimeout:
    case TapEvent::Type::tapDisabledByUserInput:
        reenable();
        return false;
    case TapEvent::Type::connectionLost:
        diagnostic("Event tap lost its connection to the display; reconnecting");
        return false;
    case TapEvent::Type::connectionRestored:
        reconnected();
        return false;
    case TapEvent::Type::keyDown:
        return event.marked ? false : handleKey(event);
    case TapEvent::Type::flagsChanged:
        return false;
    }
    return false;
}

bool EventTap::handleKey(const TapEvent& event) {
    const auto started = clock_.monotonicNow();
    const bool suppress = event.withholdable ? callHandler(event) : deliverKey(event);
    const double elapsedMs =
        std::chrono::duration<double, std::milli>(clock_.monotonicNow() - started).count();
    if (elapsedMs > latencyThresholdMs) {
        performanceLog("EventTap.Performance",
                       fmt::format("[KEY_LATENCY] keyCode={} suppress={} elapsed={:.2f}ms", event.keyCode,
                                   suppress ? "true" : "false", elapsedMs));
    }
    return suppress;
}

bool EventTap::callHandler(const TapEvent& event) {
    Handler handler;
    {
        std::lock_guard guard(lock_);
        handler = handler_;
    }
    return handler ? handler(event.keyCode, event.characters, event.flags) : false;
}

bool EventTap::deliverKey(const TapEvent& event) {
    std::shared_ptr<KeyWithholding> withholding;
    {
        std::lock_guard guard(lock_);
        withholding = withholding_;
    }
    // A key the detector would have withheld is already in the document: it must not accept or
    // navigate, so the detector hears of it as a delivered key.
    if (withholding &&
        anyClaimMatches(withholding->withheldKeys(), event.keyCode, event.characters, event.flags)) {
        withholding->processDeliveredKey(event.keyCode, event.characters, event.flags);
    } else {
        callHandler(event);
    }
    return false;
}

void EventTap::refreshClaimedKeys() {
    std::shared_ptr<KeyWithholding> withholding;
    std::shared_ptr<KeyTap> tap;
    {
        std::lock_guard guard(lock_);
        withholding = withholding_;
        tap = tap_;
    }
    if (withholding && tap) {
        tap->setClaimedKeys(withholding->withheldKeys());
    }
}

void EventTap::reenable() {
    std::shared_ptr<KeyTap> tap;
    std::function<void()> callback;
    {
        std::lock_guard guard(lock_);
        tap = tap_;
        callback = onTapReenabled;
    }
    if (!trust_->isTrusted()) {
        handleRevocation();
        return;
    }
    if (!tap) {
        return;
    }
    tap->setEnabled(true);
    diagnostic("Event tap re-enabled after timeout");
    if (callback) {
        callback();
    }
}

void EventTap::reconnected() {
    std::function<void()> callback;
    {
        std::lock_guard guard(lock_);
        callback = onTapReenabled;
    }
    if (!trust_->isTrusted()) {
        handleRevocation();
        return;
    }
    diagnostic("Event tap reconnected to the display");
    // Keys typed while the tap was away were never seen, as after a re-enable.
    if (callback) {
        callback();
    }
}

void EventTap::handleRevocation() {
    std::function<void()> callback;
    {
        std::lock_guard guard(lock_);
        if (didHandlePermissionRevocation_) {
            return;
        }
        didHandlePermissionRevocation_ = true;
        if (!onPermissionRevoked) {
            return;
        }
        callback = onPermissionRevoked;
    }
    diagnostic(revocationLine);
    stop();
    callback();
}

void EventTap::stopForRevokedPermission() {
    bool firstReport = false;
    {
        std::lock_guard guard(lock_);
        if (tap_ == nullptr) {
            return;
        }
        firstReport = !didHandlePermissionRevocation_;
        didHandlePermissionRevocation_ = true;
    }
    if (firstReport) {
        diagnostic(revocationLine);
    }
    stop();
}

void EventTap::scheduleHealthCheck(std::uint64_t generation) {
    std::weak_ptr<EventTap> weak = weak_from_this();
    CancellationToken token = mainScheduler_.postAfter(healthCheckInterval, [weak, generation] {
        if (auto self = weak.lock()) {
            self->checkHealth(generation);
        }
    });
    std::lock_guard guard(lock_);
    if (generation == healthCheckGeneration_) {
        healthCheckTimer_ = token;
    } else {
        token.cancel();
    }
}

void EventTap::checkHealth(std::uint64_t generation) {
    std::shared_ptr<KeyTap> tap;
    {
        std::lock_guard guard(lock_);
        if (generation != healthCheckGeneration_) {
            return;
        }
        tap = tap_;
    }
    // A tap without its display reconnects by itself, and without the display trust cannot be judged.
    const bool reconnecting = tap && !tap->isConnected();
    if (!reconnecting) {
        if (!trust_->isTrusted()) {
            handleRevocation();
        } else if (tap && !tap->isEnabled()) {
            reenable();
        }
    }
    bool current = false;
    {
        std::lock_guard guard(lock_);
        current = generation == healthCheckGeneration_;
    }
    if (current) {
        scheduleHealthCheck(generation);
    }
}

void EventTap::stop() {
    std::shared_ptr<KeyTap> tap;
    std::optional<CancellationToken> timer;
    {
        std::lock_guard guard(lock_);
        tap = tap_;
        timer = healthCheckTimer_;
    }
    if (timer) {
        timer->cancel();
    }
    if (tap) {
        tap->setEnabled(false);
        tap->stop();
    }
    {
        std::lock_guard guard(lock_);
        healthCheckTimer_.reset();
        ++healthCheckGeneration_;
        tap_.reset();
        handler_ = nullptr;
    }
    diagnostic("Event tap stopped");
}

} // namespace korvane
