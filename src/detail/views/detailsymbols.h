#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace korvane {

// The detail panel's symbols, drawn as paths so that they take any size and colour: the globe of a
// link and the arrows of a branch's figures. Main thread.
class DetailSymbols {
public:
    static void globe(QPainter& painter, const QRectF& box, const QColor& color);
    // An arrow filling `box`'s height, pointing up or down.
    static void arrow(QPainter& painter, const QRectF& box, bool up, const QColor& color);
};

} // namespace korvane
