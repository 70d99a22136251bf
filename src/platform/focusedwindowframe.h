#pragma once

#include "platform/screengeometry.h"

#include <optional>

namespace korvane {

// The frame of the focused application's focused window. Main thread; bounded in time.
class FocusedWindowFrame {
public:
    virtual ~FocusedWindowFrame() = default;

    // In top-left coordinates: origin at the top left of the primary screen, y downwards, (x, y)
    // the window's top-left corner.
    virtual std::optional<ScreenRect> focusedWindowFrame() = 0;
};

} // namespace korvane
