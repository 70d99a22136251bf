#include "platform/qt/shellwindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace korvane {

ShellWindow::ShellWindow(Qt::WindowFlags flags)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | flags) {
    // The program lives in the tray: a window closing must not end it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void ShellWindow::showAndActivate() {
    if (!centred_) {
        centred_ = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = geometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

} // namespace korvane
