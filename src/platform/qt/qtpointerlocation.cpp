#include "platform/qt/qtpointerlocation.h"

#include "platform/qt/qtdesktopcoordinates.h"

#include <QCursor>

namespace korvane {

ScreenPoint QtPointerLocation::pointerLocation() {
    return QtDesktopCoordinates::toScreen(QPointF(QCursor::pos()));
}

} // namespace korvane
