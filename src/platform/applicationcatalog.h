#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane {

// One application as the desktop describes it: its application identifier (a desktop-file ID on
// Linux), the name shown for it, where it is described (the desktop file; for a running application
// without one, its executable) and its icon (a theme icon name or an absolute image path; may be
// empty). A plain value.
struct CatalogApplication {
    std::string bundleId;
    std::string name;
    std::string path;
    std::string icon;

    bool operator==(const CatalogApplication&) const = default;
};

// The applications of the desktop for the settings window: the installed ones, the running ones,
// the frontmost one and their icons. Read-only; nothing it reports is ever run.
class ApplicationCatalog {
public:
    virtual ~ApplicationCatalog() = default;

    // The installed applications that menus list, the first data folder winning for an identifier,
    // in folder order. Reads the disk: call it away from the main thread.
    virtual std::vector<CatalogApplication> installedApplications() = 0;
    // The applications that have a window now, each once, in the window manager's order. Main thread.
    virtual std::vector<CatalogApplication> runningApplications() = 0;
    // The application that has the keyboard focus, with its name; nothing when unknown. Main thread.
    virtual std::optional<CatalogApplication> frontmostApplication() = 0;
    // The icon of an application identifier (theme name or absolute path); empty when unknown.
    virtual std::string iconFor(const std::string& bundleId) = 0;
};

} // namespace korvane
