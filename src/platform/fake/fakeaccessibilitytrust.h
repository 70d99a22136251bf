#pragma once

#include "platform/accessibilitytrust.h"

#include <atomic>

namespace korvane {

// A trust answer that tests switch on and off: denied, granted, or granted once the user has asked
// a given number of times. Any thread.
class FakeAccessibilityTrust final : public AccessibilityTrust {
public:
    bool isTrusted() const override { return trusted.load(); }

    void requestTrust() override {
        const int made = requests.fetch_add(1) + 1;
        const int needed = grantAfterRequests.load();
        if (needed > 0 && made >= needed) {
            trusted.store(true);
        }
    }

    std::atomic<bool> trusted{true};
    // When positive, the request that makes `requests` reach it grants the permission.
    std::atomic<int> grantAfterRequests{0};
    // How many times the permission was asked for.
    std::atomic<int> requests{0};
};

} // namespace korvane
