#pragma once

#include "platform/linux/desktopfileindex.h"

#include <optional>
#include <string>

namespace korvane {

// What a window says about the application that owns it.
struct WindowIdentityHints {
    std::string gtkApplicationID;   // _GTK_APPLICATION_ID
    std::string kdeDesktopFile;     // _KDE_NET_WM_DESKTOP_FILE
    std::string wmClassInstance;    // WM_CLASS, first string
    std::string wmClass;            // WM_CLASS, second string

    bool operator==(const WindowIdentityHints&) const = default;
};

// The application identifier of a window: its desktop-file ID, found from the GTK application ID,
// then KDE's desktop-file name, then the window class matched against the installed desktop files
// (their StartupWMClass, then their ID; exact before ignoring case, class before instance), and
// failing all that the window class itself. Nothing when the window names no application at all.
std::optional<std::string> applicationIdentity(const WindowIdentityHints& hints,
                                               const DesktopFileIndex::Snapshot& installed);

} // namespace korvane
