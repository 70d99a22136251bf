#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace korvane {

// The popup's few symbols, drawn as paths so that they scale to any size and take any colour.
// Main thread.
class PaintIcons {
public:
    // A magnifying glass filling a square of `size` centred in `box`; the stroke follows `weight`
    // (1 regular, 1.25 medium).
    static void magnifier(QPainter& painter, const QRectF& box, double size, const QColor& color,
                          double weight = 1.25);
    // An arrow pointing up and forward, `size` high, centred in `box`.
    static void arrowUpForward(QPainter& painter, const QRectF& box, double size, const QColor& color);
    // An indeterminate activity indicator of eight spokes, `size` across, turned to `phase` (0 to 1).
    static void spinner(QPainter& painter, const QRectF& box, double size, const QColor& color, double phase);
};

} // namespace korvane
