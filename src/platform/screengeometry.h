#pragma once

#include <cmath>
#include <optional>
#include <vector>

namespace korvane {

// A point on the desktop in Korvane's screen coordinates: origin at the bottom left of the primary
// screen, y upwards.
struct ScreenPoint {
    double x = 0;
    double y = 0;

    bool operator==(const ScreenPoint&) const = default;
};

// A rectangle on the desktop; (x, y) is its bottom-left corner in screen coordinates (y upwards),
// or its top-left corner where a port says it speaks in top-left coordinates (y downwards).
struct ScreenRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double midX() const { return x + width / 2; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    double midY() const { return y + height / 2; }

    // Half-open, so that a point on the edge two screens share lies on exactly one of them.
    bool contains(ScreenPoint p) const {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }
    bool isFinite() const {
        return std::isfinite(x) && std::isfinite(y) && std::isfinite(width) && std::isfinite(height);
    }

    bool operator==(const ScreenRect&) const = default;
};

// One screen: its whole frame and the part windows may use (without panels and docks).
struct ScreenInfo {
    ScreenRect frame;
    ScreenRect visibleFrame;

    bool operator==(const ScreenInfo&) const = default;
};

} // namespace korvane
