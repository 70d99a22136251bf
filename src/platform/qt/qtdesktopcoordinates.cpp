#include "platform/qt/qtdesktopcoordinates.h"

#include <QGuiApplication>
#include <QScreen>

namespace korvane {
namespace {

QRectF primaryGeometry() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary != nullptr ? QRectF(primary->geometry()) : QRectF();
}

} // namespace

QPointF QtDesktopCoordinates::primaryTopLeft() {
    return primaryGeometry().topLeft();
}

ScreenPoint QtDesktopCoordinates::toScreen(const QPointF& point) {
    const QRectF primary = primaryGeometry();
    return ScreenPoint{point.x() - primary.left(), primary.top() + primary.height() - point.y()};
}

ScreenRect QtDesktopCoordinates::toScreen(const QRectF& rect) {
    const ScreenPoint bottomLeft = toScreen(QPointF(rect.left(), rect.top() + rect.height()));
    return ScreenRect{bottomLeft.x, bottomLeft.y, rect.width(), rect.height()};
}

QRectF QtDesktopCoordinates::fromScreen(const ScreenRect& rect) {
    const QRectF primary = primaryGeometry();
    return QRectF(rect.x + primary.left(), primary.top() + primary.height() - rect.y - rect.height,
                  rect.width, rect.height);
}

} // namespace korvane
