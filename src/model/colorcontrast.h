#pragma once

#include "model/color.h"

#include <optional>

namespace korvane {

// The contrast of colours as WCAG 2 measures it, and the least change of a colour that makes it read:
// the one measure of legibility that the popup's badges and the settings and onboarding windows share.
// Pure functions, any thread.

// The least contrast a text keeps against what lies right behind it (WCAG's figure for large or bold
// text and for the parts of a control).
inline constexpr double minimumTextContrast = 3.0;

// The relative luminance of an opaque colour, from 0 (black) to 1 (white).
double relativeLuminance(Color color);
// The contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(Color first, Color second);
// `top` drawn over `bottom` (source over), as an opaque colour when `bottom` is opaque.
Color composite(Color top, Color bottom);
// `color` a `fraction` of the way to `extreme`, its opacity kept: the hue stays as it was.
Color mixed(Color color, Color extreme, double fraction);

// How finely leastMixed takes a colour toward its extreme.
inline constexpr int colorMixSteps = 50;

// `color` taken the least way toward `extreme` for which `readable` holds; none when even the extreme
// does not read.
template <class Readable>
std::optional<Color> leastMixed(Color color, Color extreme, const Readable& readable) {
    for (int step = 0; step <= colorMixSteps; ++step) {
        const Color candidate = mixed(color, extreme, static_cast<double>(step) / colorMixSteps);
        if (readable(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace korvane
