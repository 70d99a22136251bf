#pragma once

#include "popup/popupsurfacestyle.h"

#include <optional>
#include <string>

namespace korvane {

// The outcome of choosing the popup's surface: the style, whether it is glass, and why not when
// glass was asked for and cannot be drawn. A plain value.
struct ResolvedSurface {
    PopupSurfaceStyle surface;
    bool isEffectiveGlass = false;
    std::optional<std::string> glassUnavailableReason;

    // The reason alone: none for a solid theme, else "Requires macOS 26" without glass support, else
    // "Disabled by Reduce Transparency" when reduced transparency is on.
    static std::optional<std::string> unavailableReason(const ThemeConfig& theme, bool glassSupported,
                                                        bool reduceTransparency);

    bool operator==(const ResolvedSurface&) const = default;
};

} // namespace korvane
