#include "popup/legiblebadgecolors.h"

#include "popup/namedcolors.h"

#include <array>
#include <cmath>
#include <optional>

namespace korvane {
namespace {

// How finely a colour is taken toward white or black.
constexpr int mixSteps = 50;

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(Color color) {
    return 0.2126 * linear(color.red) + 0.7152 * linear(color.green) + 0.0722 * linear(color.blue);
}

// `color` a `fraction` of the way to `extreme`, its opacity kept: the hue stays as it was.
Color mixed(Color color, Color extreme, double fraction) {
    return {color.red + (extreme.red - color.red) * fraction,
            color.green + (extreme.green - color.green) * fraction,
            color.blue + (extreme.blue - color.blue) * fraction, color.opacity};
}

// `color` taken the least way toward `extreme` for which `readable` holds; none when even the extreme
// does not read.
template <class Readable>
std::optional<Color> leastMixed(Color color, Color extreme, const Readable& readable) {
    for (int step = 0; step <= mixSteps; ++step) {
        const Color candidate = mixed(color, extreme, static_cast<double>(step) / mixSteps);
        if (readable(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace

double contrastRatio(Color first, Color second) {
    const double a = luminance(first) + 0.05;
    const double b = luminance(second) + 0.05;
    return a > b ? a / b : b / a;
}

Color composite(Color top, Color bottom) {
    const double opacity = top.opacity + bottom.opacity * (1 - top.opacity);
    if (opacity <= 0) {
        return namedColor(NamedColor::clear);
    }
    const auto channel = [&](double over, double under) {
        return (over * top.opacity + under * bottom.opacity * (1 - top.opacity)) / opacity;
    };
    return {channel(top.red, bottom.red), channel(top.green, bottom.green), channel(top.blue, bottom.blue),
            opacity};
}

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
    const bool lighter = luminance(composite(colors.text, behind)) >= luminance(behind);
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
