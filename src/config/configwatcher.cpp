#include "config/configwatcher.h"

namespace korvane {

std::shared_ptr<ConfigWatcher> ConfigWatcher::create(const std::string& configDirectory, Scheduler& scheduler,
                                                     std::shared_ptr<FileWatchSource> source) {
    return std::shared_ptr<ConfigWatcher>(new ConfigWatcher(configDirectory, scheduler, std::move(source)));
}

ConfigWatcher::ConfigWatcher(const std::string& configDirectory, Scheduler& scheduler,
                             std::shared_ptr<FileWatchSource> source)
    : ConfigFileWatcher(configDirectory, "config.json", scheduler, std::move(source)) {}

} // namespace korvane
