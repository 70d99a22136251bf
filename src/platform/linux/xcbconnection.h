#pragma once

#include <chrono>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace korvane::x11 {

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

// Owns one connection to the X server. Used by one thread at a time.
class XcbConnection {
public:
    // How long a connection may take before the server counts as unreachable.
    static constexpr std::chrono::milliseconds connectDeadline{2000};

    // Connects to $DISPLAY; null when there is no X11 session (no DISPLAY, a Wayland session), the
    // server cannot be reached or does not answer within `deadline`. Any thread.
    static std::unique_ptr<XcbConnection> open(std::chrono::milliseconds deadline = connectDeadline);

    xcb_connection_t* get() const { return connection_.get(); }
    xcb_window_t root() const { return root_; }
    bool hasError() const { return xcb_connection_has_error(connection_.get()) != 0; }

    // Whether the server offers XInput 2.2 (raw events for every client) and XTEST.
    bool hasInputExtensions() const;
    // The first event code and major opcode of an extension, or 0 when the server lacks it.
    std::uint8_t majorOpcode(xcb_extension_t* extension) const;
    std::uint8_t firstEvent(xcb_extension_t* extension) const;

private:
    XcbConnection(std::unique_ptr<xcb_connection_t, XcbDisconnect> connection, xcb_window_t root)
        : connection_(std::move(connection))
        , root_(root) {}

    std::unique_ptr<xcb_connection_t, XcbDisconnect> connection_;
    xcb_window_t root_;
};

template <typename T> struct FreeDeleter {
    void operator()(T* pointer) const { std::free(pointer); }
};

// Replies and events from xcb are malloc'd; this owns one.
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

} // namespace korvane::x11
