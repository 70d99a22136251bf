#pragma once

#include "platform/screenlist.h"

namespace korvane {

// The desktop's screens from Qt, the primary first, in screen coordinates. Main thread.
class QtScreenList final : public ScreenList {
public:
    std::vector<ScreenInfo> screens() override;
};

} // namespace korvane
