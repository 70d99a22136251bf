#pragma once

#include <string>

namespace korvane {

// One application of the installed-applications list: its identifier (a desktop-file ID), the name
// shown and sorted on, and where it is described (its desktop file). A plain value.
struct InstalledApp {
    std::string bundleId;
    std::string appName;
    std::string path;

    bool operator==(const InstalledApp&) const = default;
};

} // namespace korvane
