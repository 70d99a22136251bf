#include "config/projectconfigwatcher.h"

namespace korvane {

std::shared_ptr<ProjectConfigWatcher> ProjectConfigWatcher::create(const std::string& projectRoot,
                                                                   Scheduler& scheduler,
                                                                   std::shared_ptr<FileWatchSource> source) {
    return std::shared_ptr<ProjectConfigWatcher>(
        new ProjectConfigWatcher(projectRoot, scheduler, std::move(source)));
}

ProjectConfigWatcher::Factory ProjectConfigWatcher::factory(Scheduler& scheduler,
                                                            std::shared_ptr<FileWatchSource> source) {
    return [&scheduler, source = std::move(source)](const std::string& projectRoot) {
        return create(projectRoot, scheduler, source);
    };
}

ProjectConfigWatcher::ProjectConfigWatcher(const std::string& projectRoot, Scheduler& scheduler,
                                           std::shared_ptr<FileWatchSource> source)
    : ConfigFileWatcher(projectRoot, ".korvane.json", scheduler, std::move(source))
    , projectRoot_(projectRoot) {}

} // namespace korvane
