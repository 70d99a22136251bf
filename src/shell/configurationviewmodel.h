#pragma once

#include "config/appconfig.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class ConfigLoader;

// An application as the settings window offers it: its identifier and its name.
struct NamedApplication {
    std::string bundleID;
    std::string name;

    bool operator==(const NamedApplication&) const = default;
};

// The settings window's state: the configuration being edited (the draft) and how often the window
// saved it. Main thread.
class ConfigurationViewModel {
public:
    // The loader must outlive the view model.
    ConfigurationViewModel(ConfigLoader& configLoader,
                           std::function<std::optional<NamedApplication>()> getLastNonKorvaneApp,
                           std::function<std::vector<NamedApplication>()> getRecentApps);

    // Replaces the draft with the configuration file's contents.
    void reloadDraftFromDisk();

    const AppConfig& draft() const { return draft_; }
    std::uint64_t saveGeneration() const { return saveGeneration_; }

    const std::function<std::optional<NamedApplication>()> getLastNonKorvaneApp;
    const std::function<std::vector<NamedApplication>()> getRecentApps;

private:
    ConfigLoader& configLoader_;
    AppConfig draft_;
    std::uint64_t saveGeneration_ = 0;
};

} // namespace korvane
