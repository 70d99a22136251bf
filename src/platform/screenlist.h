#pragma once

#include "platform/screengeometry.h"

#include <vector>

namespace korvane {

// The desktop's screens in screen coordinates, the primary screen first. Main thread.
class ScreenList {
public:
    virtual ~ScreenList() = default;

    virtual std::vector<ScreenInfo> screens() = 0;
};

} // namespace korvane
