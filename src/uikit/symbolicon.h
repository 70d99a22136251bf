#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <string_view>
#include <vector>

class QPainter;

namespace korvane {

// Korvane's own symbols for the names its windows use ("plus", "trash", "eye.slash", ...), drawn as
// vector paths so that they need no icon theme and look the same on every desktop. Main thread.
class SymbolIcon {
public:
    // Whether a symbol of that name exists.
    static bool has(std::string_view name);
    // Every symbol name, in a stable order.
    static std::vector<std::string_view> names();
    // Draws the symbol into `box` (kept square and centred) in `color`; false for an unknown name.
    static bool paint(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color);
    // The symbol as an icon of `size` pixels (and twice that for high-density screens); an empty icon
    // for an unknown name. Drawn once per name, colour and size, then shared.
    static QIcon icon(std::string_view name, const QColor& color, int size = 16);
};

} // namespace korvane
