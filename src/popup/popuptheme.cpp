#include "popup/popuptheme.h"

#include <algorithm>
#include <cmath>

namespace korvane {

const ThemeConfig& PopupTheme::defaultTheme() {
    static const ThemeConfig theme = ThemeConfig::fromSettings(SettingsConfig{}, false);
    return theme;
}

double PopupTheme::drawingFontSize(double configured) {
    if (!std::isfinite(configured) || configured <= 0) {
        return fallbackFontSize;
    }
    return std::clamp(configured, minimumDrawingFontSize, maximumDrawingFontSize);
}

} // namespace korvane
