#pragma once

#include "config/appconfig.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class ConfigLoader;

// The settings window's state: the configuration being edited (the draft) and how often the window
// saved it. Main thread.
class ConfigurationViewModel {
public:
    // An application as the window offers it: its identifier and its name.
    struct AppRecord {
        std::string bundleID;
        std::string name;

        bool operator==(const AppRecord&) const = default;
    };

    // The loader must outlive the view model.
    ConfigurationViewModel(ConfigLoader& configLoader,
                           std::function<std::optional<AppRecord>()> getLastNonKorvaneApp,
                           std::function<std::vector<AppRecord>()> getRecentApps);

    // Replaces the draft with the configuration file's contents.
    void reloadDraftFromDisk();

    const AppConfig& draft() const { return draft_; }

    // Counts the window's saves, so that the reload its own write causes can be told from others.
    std::uint64_t saveGeneration = 0;

    const std::function<std::optional<AppRecord>()> getLastNonKorvaneApp;
    const std::function<std::vector<AppRecord>()> getRecentApps;

private:
    ConfigLoader& configLoader_;
    AppConfig draft_;
};

} // namespace korvane
