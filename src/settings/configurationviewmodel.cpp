#include "settings/configurationviewmodel.h"

#include "config/configloader.h"

namespace korvane {

ConfigurationViewModel::ConfigurationViewModel(ConfigLoader& configLoader,
                                               std::function<std::optional<AppRecord>()> getLastNonKorvaneApp,
                                               std::function<std::vector<AppRecord>()> getRecentApps)
    : getLastNonKorvaneApp(std::move(getLastNonKorvaneApp))
    , getRecentApps(std::move(getRecentApps))
    , configLoader_(configLoader)
    , draft_(configLoader_.loadConfig()) {}

void ConfigurationViewModel::reloadDraftFromDisk() {
    draft_ = configLoader_.loadConfig();
}

} // namespace korvane
