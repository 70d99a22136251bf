#pragma once

#include "platform/pointerlocation.h"

namespace korvane {

// The mouse pointer from Qt, in screen coordinates. Main thread.
class QtPointerLocation final : public PointerLocation {
public:
    ScreenPoint pointerLocation() override;
};

} // namespace korvane
