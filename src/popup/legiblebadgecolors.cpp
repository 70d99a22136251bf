#include "popup/legiblebadgecolors.h"

#include <array>

namespace korvane {

BadgeColors legibleBadgeColors(BadgePalette palette, const SnippetSource& source,
                               const PopupSurfaceStyle& surface, bool selected) {
    BadgeColors colors = badgeColors(palette, source, surface.isGlass);
    if (surface.isGlass) {
        return colors;
    }
    const Color black{0, 0, 0, 1};
    const Color white = Color::white();
    std::array<Color, 2> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = composite(surface.background, i == 0 ? black : white);
        if (selected) {
            rows[i] = composite(surface.selection, rows[i]);
        }
    }
    const auto reads = [&](Color text, Color fill) {
        for (const Color& row : rows) {
            const Color behind = colors.hasBackground ? composite(fill, row) : row;
            if (contrastRatio(composite(text, behind), behind) < minimumBadgeContrast) {
                return false;
            }
        }
        return true;
    };
    if (palette == BadgePalette::saturated) {
        // White text on a vivid fill: the fill gives way, darker, so that the text stays white.
        if (auto fill = leastMixed(colors.background, black,
                                   [&](Color candidate) { return reads(colors.text, candidate); })) {
            colors.background = *fill;
        }
        return colors;
    }
    // Coloured text: lighter over a dark row, darker over a light one (the other way only when that
    // cannot reach the contrast).
    const Color behind = colors.hasBackground ? composite(colors.background, rows[0]) : rows[0];
    const bool lighter = relativeLuminance(composite(colors.text, behind)) >= relativeLuminance(behind);
    for (const Color& extreme : {lighter ? white : black, lighter ? black : white}) {
        if (auto text = leastMixed(colors.text, extreme,
                                   [&](Color candidate) { return reads(candidate, colors.background); })) {
            colors.text = *text;
            break;
        }
    }
    return colors;
}

} // namespace korvane
