#pragma once

#include "base/scheduler.h"
#include "platform/applicationcatalog.h"
#include "platform/platformcapabilities.h"
#include "platform/urlopener.h"
#include "uikit/iconloader.h"

#include <filesystem>
#include <memory>
#include <string>

namespace korvane {

// What the settings window reaches of the desktop: opening the configuration file, what the popup's
// surface can be, the applications, the main loop for the background scan and the sample popup.
// Made by the shell (fakes in tests); every pointer outlives the window.
struct ConfigurationServices {
    std::shared_ptr<UrlOpener> urlOpener;
    std::shared_ptr<const PlatformCapabilities> capabilities;
    std::shared_ptr<ApplicationCatalog> applications;
    Scheduler* scheduler = nullptr;
    // The configuration file the footer shows and opens.
    std::filesystem::path configFile;
    // Korvane's own application identifier, never offered as an application to configure.
    std::string ownBundleId = "korvane";
    // Decodes the applications' icons off the main thread; without it every icon is a placeholder.
    std::shared_ptr<const IconLoader> icons;
};

} // namespace korvane
