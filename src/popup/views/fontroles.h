#pragma once

#include <QFont>

namespace korvane {

// The popup's fonts by role, from the fixed families Korvane installs (a sans and a monospaced one,
// DejaVu behind both), so that every machine draws the same glyphs. Main thread.
class FontRoles {
public:
    enum class Design { standard, monospaced, rounded };

    static constexpr const char* sansFamily = "Inter";
    static constexpr const char* monospacedFamily = "JetBrains Mono";

    // `size` in points of the popup (one point is one logical pixel), drawn at a sane size whatever
    // the theme says.
    static QFont font(Design design, double size, QFont::Weight weight);

    // x to the nearest whole number, halves away from zero.
    static double nearest(double x);
};

} // namespace korvane
