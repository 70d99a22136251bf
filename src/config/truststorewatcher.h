#pragma once

#include "config/configfilewatcher.h"

namespace korvane {

// Watches the trust store "trusted-projects.json" in the configuration directory, for the life of the
// application, so that trust given or taken back in the file (by hand, by another program or by
// Korvane itself) is followed without a restart; the coordinator applies it from onChange. Main thread.
class TrustStoreWatcher final : public ConfigFileWatcher {
public:
    static std::shared_ptr<TrustStoreWatcher> create(const std::string& configDirectory, Scheduler& scheduler,
                                                     std::shared_ptr<FileWatchSource> source);

private:
    TrustStoreWatcher(const std::string& configDirectory, Scheduler& scheduler,
                      std::shared_ptr<FileWatchSource> source);
};

} // namespace korvane
