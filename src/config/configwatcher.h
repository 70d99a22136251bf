#pragma once

#include "config/configfilewatcher.h"

namespace korvane {

// Watches the global configuration file "config.json" in the configuration directory, for the life
// of the application; the coordinator reloads the global configuration from onChange. Main thread.
class ConfigWatcher final : public ConfigFileWatcher {
public:
    static std::shared_ptr<ConfigWatcher> create(const std::string& configDirectory, Scheduler& scheduler,
                                                 std::shared_ptr<FileWatchSource> source);

private:
    ConfigWatcher(const std::string& configDirectory, Scheduler& scheduler,
                  std::shared_ptr<FileWatchSource> source);
};

} // namespace korvane
