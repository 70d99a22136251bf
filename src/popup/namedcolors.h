#pragma once

#include "model/color.h"

namespace korvane {

// The named colours the popup draws with, each fixed to one sRGB value so the popup looks the same
// under every desktop theme. The label colours are those of light text on a dark surface.
enum class NamedColor {
    clear,
    white,
    orange,
    purple,
    indigo,
    green,
    red,
    cyan,
    yellow,
    teal,
    blue,
    primary,
    secondary,
    tertiaryLabel,
    quaternaryLabel,
};

Color namedColor(NamedColor name);

// `color` with its opacity multiplied by `opacity`.
constexpr Color withOpacity(Color color, double opacity) {
    color.opacity *= opacity;
    return color;
}

// An opaque sRGB grey of the given white level.
constexpr Color grey(double white, double opacity = 1) {
    return Color{white, white, white, opacity};
}

} // namespace korvane
