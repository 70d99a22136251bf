#include "model/colorcontrast.h"

#include <cmath>

namespace korvane {
namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

} // namespace

double relativeLuminance(Color color) {
    return 0.2126 * linear(color.red) + 0.7152 * linear(color.green) + 0.0722 * linear(color.blue);
}

double contrastRatio(Color first, Color second) {
    const double a = relativeLuminance(first) + 0.05;
    const double b = relativeLuminance(second) + 0.05;
    return a > b ? a / b : b / a;
}

Color composite(Color top, Color bottom) {
    const double opacity = top.opacity + bottom.opacity * (1 - top.opacity);
    if (opacity <= 0) {
        return {0, 0, 0, 0};
    }
    const auto channel = [&](double over, double under) {
        return (over * top.opacity + under * bottom.opacity * (1 - top.opacity)) / opacity;
    };
    return {channel(top.red, bottom.red), channel(top.green, bottom.green), channel(top.blue, bottom.blue),
            opacity};
}

Color mixed(Color color, Color extreme, double fraction) {
    return {color.red + (extreme.red - color.red) * fraction,
            color.green + (extreme.green - color.green) * fraction,
            color.blue + (extreme.blue - color.blue) * fraction, color.opacity};
}

} // namespace korvane
