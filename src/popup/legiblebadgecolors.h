#pragma once

#include "model/colorcontrast.h"
#include "popup/badgecolors.h"
#include "popup/popupsurfacestyle.h"

namespace korvane {

// The least contrast a badge's text keeps against what lies right behind it.
inline constexpr double minimumBadgeContrast = minimumTextContrast;

// The badge colours of `source` under `palette` as a row on `surface` draws them, selected or not:
// badgeColors, with the text (or, for the saturated palette's white text, the fill) taken just as far
// toward white or black as the text needs to read at minimumBadgeContrast, its hue kept. A solid
// surface is judged over a black and over a white desktop, as its background is not quite opaque;
// glass, over an unknown desktop, keeps the palette's colours.
BadgeColors legibleBadgeColors(BadgePalette palette, const SnippetSource& source,
                               const PopupSurfaceStyle& surface, bool selected);

} // namespace korvane
