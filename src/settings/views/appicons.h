#pragma once

#include <QIcon>
#include <string>

namespace korvane {

// Turns the icon a desktop file names into an image: an absolute path is read only as an image (a
// regular file of at most 1 MiB, decoded at a bounded size), anything else is looked up in the
// desktop's icon theme. Main thread.
class AppIcons {
public:
    // The icon, or a null icon when there is none.
    static QIcon fromSpec(const std::string& spec);
    // Korvane's own icon, for an application that is not installed here.
    static QIcon ownIcon();
};

} // namespace korvane
