#pragma once

#include "platform/focusedwindowframe.h"
#include "platform/linux/xcbconnection.h"

#include <chrono>
#include <functional>
#include <memory>

namespace korvane::x11 {

// The active window's frame from the window manager (_NET_ACTIVE_WINDOW, its geometry on the root
// and _NET_FRAME_EXTENTS), on a connection of its own, each read bounded by a short deadline.
// Main thread.
class X11FocusedWindowFrame final : public FocusedWindowFrame {
public:
    static constexpr std::chrono::milliseconds timeLimit{100};

    // Null without an X11 session. `primaryTopLeft` as for the caret.
    static std::unique_ptr<X11FocusedWindowFrame> open(std::function<ScreenPoint()> primaryTopLeft);

    std::optional<ScreenRect> focusedWindowFrame() override;

private:
    X11FocusedWindowFrame(std::unique_ptr<XcbConnection> connection,
                          std::function<ScreenPoint()> primaryTopLeft);
    xcb_atom_t atom(const char* name);

    std::unique_ptr<XcbConnection> connection_;
    std::function<ScreenPoint()> primaryTopLeft_;
    xcb_atom_t activeWindow_ = XCB_NONE;
    xcb_atom_t frameExtents_ = XCB_NONE;
};

} // namespace korvane::x11
