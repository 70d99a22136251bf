#pragma once

#include "platform/screengeometry.h"

#include <functional>

namespace korvane {

// The window the popup is drawn in: a floating window above all others that never takes the
// keyboard focus or activation from the application the user types in. Frames are in screen
// coordinates (y upwards). Main thread.
class PopupSurfaceWindow {
public:
    virtual ~PopupSurfaceWindow() = default;

    virtual bool isVisible() const = 0;
    virtual ScreenRect frame() const = 0;
    // Moves and resizes at once and draws.
    virtual void setFrame(const ScreenRect& frame) = 0;
    // Moves and resizes over `seconds` along the easing curve through (x1, y1) and (x2, y2); calls
    // `completion` on the main thread when the frame has arrived, never when the animation is
    // stopped.
    virtual void animateFrame(const ScreenRect& frame, double seconds, double x1, double y1, double x2,
                              double y2, std::function<void()> completion) = 0;
    // Stops a running frame animation where it is.
    virtual void stopAnimation() = 0;
    // Shows the window above the others without activating it.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
};

} // namespace korvane
