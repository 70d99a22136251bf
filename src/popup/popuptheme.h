#pragma once

#include "config/themeconfig.h"

namespace korvane {

// What the popup makes of a theme when it draws: the default theme, the font size it really draws
// with and the width of the list column. Pure functions, any thread.
class PopupTheme {
public:
    // The list column's width when the theme leaves it unset.
    static constexpr double standardPopupWidth = 380;
    // The range a configured font size is drawn within; the configured value itself is kept.
    static constexpr double minimumDrawingFontSize = 6;
    static constexpr double maximumDrawingFontSize = 72;
    static constexpr double fallbackFontSize = 16;

    // The theme before any configuration is read, made once. Its material is solid: the desktop
    // offers no glass surface.
    static const ThemeConfig& defaultTheme();

    // The font size to draw with: the configured size within the drawing range, and the standard
    // 16 for a size that is not a finite positive number.
    static double drawingFontSize(double configured);

    // The theme's list width, or the standard width when it has none.
    static double listWidth(const ThemeConfig& theme) {
        return theme.popupWidth.value_or(standardPopupWidth);
    }
};

} // namespace korvane
