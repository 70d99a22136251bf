#include "platform/qt/ownwindowidentity.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWindow>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace korvane {
namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const auto length = static_cast<std::uint16_t>(std::strlen(name));
    auto* reply = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, length, name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

} // namespace

OwnWindowIdentity::OwnWindowIdentity(const QString& desktopID)
    : desktopID_(desktopID.toUtf8()) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->installEventFilter(this);
    }
}

bool OwnWindowIdentity::eventFilter(QObject* watched, QEvent* event) {
    // Sent once the X window exists and before it is mapped, so the window manager and every reader
    // see the mark from the start; again whenever the window is created anew.
    if (event->type() == QEvent::PlatformSurface && watched->isWindowType() &&
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
            QPlatformSurfaceEvent::SurfaceCreated) {
        mark(*static_cast<QWindow*>(watched));
    }
    return false;
}

void OwnWindowIdentity::mark(QWindow& window) {
    const auto* x11 =
        qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr || desktopID_.isEmpty()) {
        return;
    }
    if (desktopFileAtom_ == XCB_NONE) {
        desktopFileAtom_ = internAtom(connection, "_KDE_NET_WM_DESKTOP_FILE");
        utf8StringAtom_ = internAtom(connection, "UTF8_STRING");
    }
    if (desktopFileAtom_ == XCB_NONE || utf8StringAtom_ == XCB_NONE) {
        return;
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
                        desktopFileAtom_, utf8StringAtom_, 8, static_cast<std::uint32_t>(desktopID_.size()),
                        desktopID_.constData());
}

} // namespace korvane
