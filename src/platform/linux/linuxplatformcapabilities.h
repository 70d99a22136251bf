#pragma once

#include "platform/platformcapabilities.h"

#include <mutex>

namespace korvane {

// The capabilities of the X11 desktop. The popup has no glass surface here yet, so it is solid.
// Reduced transparency is the desktop's high-contrast preference, as the settings portal reports it
// (org.freedesktop.appearance "contrast"), read once; false where no portal answers. Any thread.
class LinuxPlatformCapabilities final : public PlatformCapabilities {
public:
    bool supportsGlass() const override;
    bool reduceTransparency() const override;

    // Asks the settings portal on the session bus, waiting at most `timeoutMs`.
    static bool portalRequestsHighContrast(int timeoutMs);

private:
    mutable std::once_flag readContrast_;
    mutable bool reduceTransparency_ = false;
};

} // namespace korvane
