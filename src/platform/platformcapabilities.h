#pragma once

namespace korvane {

// What the desktop can draw for Korvane's windows. Any thread.
class PlatformCapabilities {
public:
    virtual ~PlatformCapabilities() = default;

    // Whether the popup can have a translucent glass surface.
    virtual bool supportsGlass() const = 0;
    // Whether the user asked the desktop for less transparency (and more contrast).
    virtual bool reduceTransparency() const = 0;
};

} // namespace korvane
