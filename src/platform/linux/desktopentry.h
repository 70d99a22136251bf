#pragma once

#include <string>

namespace korvane {

// One installed application as its desktop file describes it. Plain value.
struct DesktopEntry {
    // The desktop-file ID: the file's path below an applications folder, "/" turned into "-",
    // without ".desktop". Korvane's application identifier.
    std::string id;
    std::string name;
    std::string icon;
    std::string exec;
    std::string startupWMClass;
    // Installed but not meant to be listed in menus.
    bool noDisplay = false;
    // The desktop file it was read from; empty for an entry parsed from text alone.
    std::string path;

    bool operator==(const DesktopEntry&) const = default;
};

} // namespace korvane
