#pragma once

#include "platform/accessibilitytrust.h"

namespace korvane {

// Trusted when the X display is reachable and offers XInput 2.2 and XTEST, and the session's
// accessibility bus is switched on (org.a11y.Status IsEnabled): what reading keys, focused text and
// posting input need. Each call asks afresh, and a display or bus that does not answer within a few
// seconds counts as not trusted. Any thread.
class LinuxAccessibilityTrust final : public AccessibilityTrust {
public:
    bool isTrusted() const override;
    // Sets org.a11y.Status IsEnabled to true over the session bus; a bus that does not answer
    // within a second is left as it is.
    void requestTrust() override;

    static bool displayOffersInput();
    static bool accessibilityBusEnabled();
};

} // namespace korvane
