#include "config/truststorewatcher.h"

#include "config/projecttruststore.h"

namespace korvane {

std::shared_ptr<TrustStoreWatcher> TrustStoreWatcher::create(const std::string& configDirectory,
                                                             Scheduler& scheduler,
                                                             std::shared_ptr<FileWatchSource> source) {
    return std::shared_ptr<TrustStoreWatcher>(
        new TrustStoreWatcher(configDirectory, scheduler, std::move(source)));
}

TrustStoreWatcher::TrustStoreWatcher(const std::string& configDirectory, Scheduler& scheduler,
                                     std::shared_ptr<FileWatchSource> source)
    : ConfigFileWatcher(configDirectory, ProjectTrustStore::kFileName, scheduler, std::move(source)) {}

} // namespace korvane
