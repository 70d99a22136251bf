#pragma once

#include "base/scheduler.h"
#include "platform/accessibilitytrust.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

namespace korvane {

// A trust answer that tests switch on and off: denied, granted, or granted once the user has asked
// a given number of times. Writing `trusted` changes the answer unnoticed; setTrusted() changes it
// as the real port notices a change, telling the observer (through the scheduler when one is given,
// else at once). Any thread.
class FakeAccessibilityTrust final : public AccessibilityTrust {
public:
    FakeAccessibilityTrust() = default;
    explicit FakeAccessibilityTrust(Scheduler& scheduler)
        : scheduler_(&scheduler) {}

    bool isTrusted() const override { return trusted.load(); }

    void requestTrust() override {
        const int made = requests.fetch_add(1) + 1;
        const int needed = grantAfterRequests.load();
        if (needed > 0 && made >= needed) {
            setTrusted(true);
        }
    }

    // The answer as it stands is told at once unless `answerHeld`.
    void setOnTrustChanged(std::function<void(bool isTrusted)> onTrustChanged) override {
        {
            std::lock_guard lock(mutex_);
            onTrustChanged_ = std::move(onTrustChanged);
        }
        tell(trusted.load());
    }

    void setTrusted(bool value) {
        if (trusted.exchange(value) != value) {
            tell(value);
        }
    }

    // A question that was held back answers now: the observer hears the answer as it stands.
    void answerNow() {
        answerHeld = false;
        tell(trusted.load());
    }

    std::atomic<bool> trusted{true};
    // When positive, the request that makes `requests` reach it grants the permission.
    std::atomic<int> grantAfterRequests{0};
    // How many times the permission was asked for.
    std::atomic<int> requests{0};
    // While set, the observer is told nothing until answerNow(): a bus that has not answered yet.
    std::atomic<bool> answerHeld{false};

private:
    void tell(bool value) {
        std::function<void(bool)> observer;
        {
            std::lock_guard lock(mutex_);
            observer = onTrustChanged_;
        }
        if (!observer || answerHeld.load()) {
            return;
        }
        if (scheduler_ != nullptr) {
            scheduler_->post([observer, value] { observer(value); });
        } else {
            observer(value);
        }
    }

    Scheduler* scheduler_ = nullptr;
    std::mutex mutex_;
    std::function<void(bool)> onTrustChanged_;
};

} // namespace korvane
