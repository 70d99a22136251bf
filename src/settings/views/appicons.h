#pragma once

#include <QIcon>

namespace korvane {

// The icon that stands for an application whose own icon cannot be shown (the applications' own
// icons come through IconLoader). Main thread.
class AppIcons {
public:
    // Korvane's own icon, for an application that is not installed here.
    static QIcon ownIcon();
};

} // namespace korvane
