#pragma once

#include "platform/linux/applicationidentity.h"
#include "platform/linux/boundedreply.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane::x11 {

// Reads the window manager's and the windows' properties (active window, client list, process,
// title, application hints) on a connection of its own. Every read gives up at its deadline, so a
// stalled server or window manager costs at most that long. One thread at a time.
class X11WindowInspector {
public:
    // Null without an X11 session or when the server does not answer by the deadline.
    static std::unique_ptr<X11WindowInspector> open(Deadline deadline);
    ~X11WindowInspector();

    // Whether the connection is lost; a new inspector is needed then.
    bool broken() const { return connection_->hasError(); }

    std::optional<xcb_window_t> activeWindow(Deadline deadline);
    std::vector<xcb_window_t> clientList(Deadline deadline);

    // What identifies a window's application. `hints` is nothing when the window is gone; `pid` is
    // _NET_WM_PID, or the X-Resource extension's answer for the client that created the window
    // when that property is missing.
    struct WindowFacts {
        std::optional<WindowIdentityHints> hints;
        std::optional<std::int32_t> pid;
    };
    // The facts of each window, in order; the requests for all windows go out together.
    std::vector<WindowFacts> facts(const std::vector<xcb_window_t>& windows, Deadline deadline);

    // _NET_WM_NAME, else WM_NAME.
    std::optional<std::string> title(xcb_window_t window, Deadline deadline);

private:
    struct Atoms {
        xcb_atom_t activeWindow = XCB_NONE;
        xcb_atom_t clientList = XCB_NONE;
        xcb_atom_t wmPid = XCB_NONE;
        xcb_atom_t wmName = XCB_NONE;
        xcb_atom_t utf8String = XCB_NONE;
        xcb_atom_t compoundText = XCB_NONE;
        xcb_atom_t gtkApplicationID = XCB_NONE;
        xcb_atom_t kdeDesktopFile = XCB_NONE;
    };
    using PropertyReply = XcbReply<xcb_get_property_reply_t>;

    X11WindowInspector(std::unique_ptr<XcbConnection> connection, const Atoms& atoms, bool hasXRes);
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                              std::uint32_t maxBytes);
    PropertyReply awaitProperty(xcb_get_property_cookie_t cookie, Deadline deadline);
    std::optional<std::int32_t> clientProcessID(xcb_window_t window, Deadline deadline);
    std::optional<std::string> text(const PropertyReply& reply) const;
    void dropEvents();

    std::unique_ptr<XcbConnection> connection_;
    Atoms atoms_;
    bool hasXRes_;
};

} // namespace korvane::x11
