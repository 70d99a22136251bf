#include "platform/linux/xcbconnection.h"

#include <cstdlib>
#include <cstring>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

namespace korvane::x11 {

std::unique_ptr<XcbConnection> XcbConnection::open() {
    const char* display = std::getenv("DISPLAY");
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    // Under Wayland an X connection only reaches XWayland clients, which is not a system-wide tap.
    if (display == nullptr || *display == '\0' || (sessionType && std::strcmp(sessionType, "wayland") == 0)) {
        return nullptr;
    }
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, XcbDisconnect> connection(xcb_connect(display, &screenNumber));
    if (xcb_connection_has_error(connection.get())) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return nullptr;
    }
    xcb_window_t root = screens.data->root;
    return std::unique_ptr<XcbConnection>(new XcbConnection(std::move(connection), root));
}

bool XcbConnection::hasInputExtensions() const {
    if (majorOpcode(&xcb_input_id) == 0 || majorOpcode(&xcb_test_id) == 0) {
        return false;
    }
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(get(), xcb_input_xi_query_version(get(), 2, 2), nullptr));
    if (!version) {
        return false;
    }
    return version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 2);
}

std::uint8_t XcbConnection::majorOpcode(xcb_extension_t* extension) const {
    const xcb_query_extension_reply_t* reply = xcb_get_extension_data(get(), extension);
    return reply && reply->present ? reply->major_opcode : 0;
}

std::uint8_t XcbConnection::firstEvent(xcb_extension_t* extension) const {
    const xcb_query_extension_reply_t* reply = xcb_get_extension_data(get(), extension);
    return reply && reply->present ? reply->first_event : 0;
}

} // namespace korvane::x11
