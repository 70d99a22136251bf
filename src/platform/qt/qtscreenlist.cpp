#include "platform/qt/qtscreenlist.h"

#include "platform/qt/qtdesktopcoordinates.h"

#include <QGuiApplication>
#include <QScreen>

namespace korvane {

std::vector<ScreenInfo> QtScreenList::screens() {
    std::vector<ScreenInfo> out;
    const QScreen* primary = QGuiApplication::primaryScreen();
    const auto add = [&out](const QScreen* screen) {
        out.push_back(ScreenInfo{QtDesktopCoordinates::toScreen(QRectF(screen->geometry())),
                                 QtDesktopCoordinates::toScreen(QRectF(screen->availableGeometry()))});
    };
    if (primary != nullptr) {
        add(primary);
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary) {
            add(screen);
        }
    }
    return out;
}

} // namespace korvane
