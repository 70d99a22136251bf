#pragma once

#include "platform/platformcapabilities.h"

namespace korvane {

// The capabilities of the X11 desktop. The popup has no glass surface here yet, so it is solid.
class LinuxPlatformCapabilities final : public PlatformCapabilities {
public:
    bool supportsGlass() const override;
};

} // namespace korvane
