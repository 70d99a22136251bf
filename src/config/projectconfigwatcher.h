#pragma once

#include "config/configfilewatcher.h"

#include <functional>

namespace korvane {

// Watches a project's own configuration file ".korvane.json" in the project root while that project
// is current; the configuration manager creates one per project switch. Main thread.
class ProjectConfigWatcher final : public ConfigFileWatcher {
public:
    // How the configuration manager makes its watchers, so that tests can hand it other ports.
    using Factory = std::function<std::shared_ptr<ProjectConfigWatcher>(const std::string& projectRoot)>;

    static std::shared_ptr<ProjectConfigWatcher> create(const std::string& projectRoot, Scheduler& scheduler,
                                                        std::shared_ptr<FileWatchSource> source);

    // A factory that creates watchers on `scheduler` and `source`; both must outlive it.
    static Factory factory(Scheduler& scheduler, std::shared_ptr<FileWatchSource> source);

    const std::string& projectRoot() const { return projectRoot_; }
    const std::string& configPath() const { return filePath(); }

private:
    ProjectConfigWatcher(const std::string& projectRoot, Scheduler& scheduler,
                         std::shared_ptr<FileWatchSource> source);

    std::string projectRoot_;
};

} // namespace korvane
