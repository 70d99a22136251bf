#pragma once

#include "platform/accessibilitytrust.h"

#include <atomic>

namespace korvane {

// A trust answer that tests switch on and off. Any thread.
class FakeAccessibilityTrust final : public AccessibilityTrust {
public:
    bool isTrusted() const override { return trusted.load(); }

    std::atomic<bool> trusted{true};
};

} // namespace korvane
