#include "settings/views/appicons.h"

#include "uikit/symbolicon.h"

#include <QApplication>

namespace korvane {

QIcon AppIcons::ownIcon() {
    const QIcon window = QApplication::windowIcon();
    if (!window.isNull()) {
        return window;
    }
    return SymbolIcon::icon("app", QColor(128, 128, 128), 16);
}

} // namespace korvane
