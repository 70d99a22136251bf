#include "platform/linux/x11focusedwindowframe.h"

#include "platform/linux/boundedreply.h"

#include <cstring>

namespace korvane::x11 {

std::unique_ptr<X11FocusedWindowFrame>
X11FocusedWindowFrame::open(std::function<ScreenPoint()> primaryTopLeft) {
    auto connection = XcbConnection::open();
    if (!connection) {
        return nullptr;
    }
    return std::unique_ptr<X11FocusedWindowFrame>(
        new X11FocusedWindowFrame(std::move(connection), std::move(primaryTopLeft)));
}

X11FocusedWindowFrame::X11FocusedWindowFrame(std::unique_ptr<XcbConnection> connection,
                                             std::function<ScreenPoint()> primaryTopLeft)
    : connection_(std::move(connection))
    , primaryTopLeft_(std::move(primaryTopLeft)) {
    activeWindow_ = atom("_NET_ACTIVE_WINDOW");
    frameExtents_ = atom("_NET_FRAME_EXTENTS");
}

xcb_atom_t X11FocusedWindowFrame::atom(const char* name) {
    const Deadline deadline = std::chrono::steady_clock::now() + timeLimit;
    auto reply = awaitReply<xcb_intern_atom_reply_t>(
        connection_->get(),
        xcb_intern_atom(connection_->get(), 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        deadline);
    return reply ? reply->atom : XCB_NONE;
}

std::optional<ScreenRect> X11FocusedWindowFrame::focusedWindowFrame() {
    if (connection_->hasError() || activeWindow_ == XCB_NONE) {
        return std::nullopt;
    }
    xcb_connection_t* c = connection_->get();
    const Deadline deadline = std::chrono::steady_clock::now() + timeLimit;
    auto active = awaitReply<xcb_get_property_reply_t>(
        c, xcb_get_property(c, 0, connection_->root(), activeWindow_, XCB_ATOM_WINDOW, 0, 1), deadline);
    if (!active || xcb_get_property_value_length(active.get()) < 4) {
        return std::nullopt;
    }
    xcb_window_t window = 0;
    std::memcpy(&window, xcb_get_property_value(active.get()), sizeof window);
    if (window == XCB_NONE) {
        return std::nullopt;
    }
    const auto geometryCookie = xcb_get_geometry(c, window);
    const auto rootCookie = xcb_translate_coordinates(c, window, connection_->root(), 0, 0);
    const auto extentsCookie = frameExtents_ != XCB_NONE
                                   ? xcb_get_property(c, 0, window, frameExtents_, XCB_ATOM_CARDINAL, 0, 4)
                                   : xcb_get_property_cookie_t{0};
    auto geometry = awaitReply<xcb_get_geometry_reply_t>(c, geometryCookie, deadline);
    auto onRoot = awaitReply<xcb_translate_coordinates_reply_t>(c, rootCookie, deadline);
    XcbReply<xcb_get_property_reply_t> extents;
    if (frameExtents_ != XCB_NONE) {
        extents = awaitReply<xcb_get_property_reply_t>(c, extentsCookie, deadline);
    }
    if (!geometry || !onRoot || geometry->width == 0 || geometry->height == 0) {
        return std::nullopt;
    }
    // The window manager's decorations belong to the window as the user sees it.
    std::uint32_t left = 0, right = 0, top = 0, bottom = 0;
    if (extents && xcb_get_property_value_length(extents.get()) >= 16) {
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));
        left = values[0];
        right = values[1];
        top = values[2];
        bottom = values[3];
    }
    const ScreenPoint origin = primaryTopLeft_ ? primaryTopLeft_() : ScreenPoint{};
    return ScreenRect{static_cast<double>(onRoot->dst_x) - left - origin.x,
                      static_cast<double>(onRoot->dst_y) - top - origin.y,
                      static_cast<double>(geometry->width + left + right),
                      static_cast<double>(geometry->height + top + bottom)};
}

} // namespace korvane::x11
