#pragma once

#include "config/themeconfig.h"
#include "model/color.h"

namespace korvane {

struct ResolvedSurface;

// The colours the popup views draw one surface with: translucent glass or a solid fill.
// A plain value.
struct PopupSurfaceStyle {
    bool isGlass = false;
    Color background;
    Color textPrimary;
    Color textSecondary;
    Color textTertiary;
    Color textQuaternary;
    Color statusContext;
    Color statusHints;
    Color statusBackground;
    Color selection;
    Color border;

    // The glass surface, made once; it ignores the theme's font colour and appearance.
    static const PopupSurfaceStyle& glass();
    // The solid surface of a theme: its appearance's background, its font colour at several strengths.
    static PopupSurfaceStyle solid(const ThemeConfig& theme);

    // The surface for `theme`: glass only when the theme asks for it, the desktop can draw it and
    // reduced transparency is off; the solid surface otherwise.
    static ResolvedSurface resolve(const ThemeConfig& theme, bool glassSupported, bool reduceTransparency);

    bool operator==(const PopupSurfaceStyle&) const = default;
};

} // namespace korvane
