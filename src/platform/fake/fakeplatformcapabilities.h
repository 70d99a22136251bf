#pragma once

#include "platform/platformcapabilities.h"

namespace korvane {

// Platform capabilities for tests, set by the test.
class FakePlatformCapabilities final : public PlatformCapabilities {
public:
    explicit FakePlatformCapabilities(bool glass = false)
        : glass_(glass) {}

    bool supportsGlass() const override { return glass_; }
    void setSupportsGlass(bool glass) { glass_ = glass; }
    bool reduceTransparency() const override { return reduceTransparency_; }
    void setReduceTransparency(bool reduce) { reduceTransparency_ = reduce; }

private:
    bool glass_;
    bool reduceTransparency_ = false;
};

} // namespace korvane
