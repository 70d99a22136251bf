#pragma once

namespace korvane {

// A colour in the sRGB colour space: red, green and blue from 0 to 1, and its opacity.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    static constexpr Color white() { return {1, 1, 1, 1}; }

    bool operator==(const Color&) const = default;
};

} // namespace korvane
