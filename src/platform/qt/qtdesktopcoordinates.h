#pragma once

#include "platform/screengeometry.h"

#include <QPointF>
#include <QRectF>

namespace korvane {

// Converts between Qt's desktop coordinates (origin at the top left of the virtual desktop, y
// downwards) and Korvane's screen coordinates (origin at the bottom left of the primary screen, y
// upwards), and to top-left coordinates (origin at the top left of the primary screen, y
// downwards). Main thread; reads the primary screen each time, so it follows screen changes.
class QtDesktopCoordinates {
public:
    static ScreenPoint toScreen(const QPointF& point);
    static ScreenRect toScreen(const QRectF& rect);
    static QRectF fromScreen(const ScreenRect& rect);
    // The top left of the primary screen in Qt's coordinates.
    static QPointF primaryTopLeft();
};

} // namespace korvane
