#pragma once

#include "platform/screengeometry.h"

namespace korvane {

// Where the mouse pointer is, in screen coordinates (y upwards). Main thread.
class PointerLocation {
public:
    virtual ~PointerLocation() = default;

    virtual ScreenPoint pointerLocation() = 0;
};

} // namespace korvane
