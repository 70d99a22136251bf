#pragma once

#include "platform/activeappprovider.h"
#include "platform/applicationcatalog.h"
#include "platform/linux/desktopfileindex.h"

#include <memory>
#include <mutex>

namespace korvane {

namespace x11 {
class X11WindowInspector;
}

// The applications of the X11 desktop: the installed ones from the desktop-file index, the running
// ones from the window manager's client list named by the same identity rule as the active
// application, and the icons their desktop files name. Installed lists on any thread; the rest on
// the main thread.
class DesktopApplicationCatalog final : public ApplicationCatalog {
public:
    DesktopApplicationCatalog(std::shared_ptr<DesktopFileIndex> index,
                              std::shared_ptr<ActiveAppProvider> activeApp);
    ~DesktopApplicationCatalog() override;

    std::vector<CatalogApplication> installedApplications() override;
    std::vector<CatalogApplication> runningApplications() override;
    std::optional<CatalogApplication> frontmostApplication() override;
    std::string iconFor(const std::string& bundleId) override;

private:
    // The application of an identifier as the desktop files describe it, or as the window names it.
    CatalogApplication describe(const std::string& bundleId, const std::string& fallbackName,
                                std::int32_t pid) const;

    std::shared_ptr<DesktopFileIndex> index_;
    std::shared_ptr<ActiveAppProvider> activeApp_;
    std::mutex inspectorMutex_;
    std::unique_ptr<x11::X11WindowInspector> inspector_;
};

} // namespace korvane
