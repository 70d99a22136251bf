#pragma once

#include "platform/focusedwindowframe.h"

namespace korvane {

// A focused window frame that a test sets (top-left coordinates), or none. Main thread.
class FakeFocusedWindowFrame final : public FocusedWindowFrame {
public:
    std::optional<ScreenRect> focusedWindowFrame() override { return frame; }

    std::optional<ScreenRect> frame;
};

} // namespace korvane
