#pragma once

#include "base/debounce.h"
#include "base/scheduler.h"
#include "platform/filewatchsource.h"
#include "watch/pathwatch.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// Watches one configuration file and the directory that holds it, and calls onChange once the file
// has been quiet for 0.3 s. The directory catches the file being created or replaced after it was
// gone; changes of other entries in the directory are ignored. While the directory itself is
// missing, the nearest directory above it is watched until it returns. Main thread; hold by
// std::shared_ptr.
class ConfigFileWatcher : public std::enable_shared_from_this<ConfigFileWatcher> {
public:
    static constexpr double debounceInterval = 0.3;

    virtual ~ConfigFileWatcher();

    ConfigFileWatcher(const ConfigFileWatcher&) = delete;
    ConfigFileWatcher& operator=(const ConfigFileWatcher&) = delete;

    // Called on the main thread once per quiet period after changes. Never called after stop().
    std::function<void()> onChange;

    // Starts watching the file (retrying when it cannot be opened yet), then its directory, or the
    // way to it while it is missing. Callers start a watcher once.
    void start();

    // Stops watching and drops a pending onChange.
    void stop();

    const std::string& filePath() const { return file_->path(); }

protected:
    ConfigFileWatcher(const std::string& directory, std::string fileName, Scheduler& scheduler,
                      std::shared_ptr<FileWatchSource> source);

private:
    void watchDirectory();
    bool watchAncestor();
    void handleDirectory(const std::vector<FileWatchEvent>& events);
    void handleAncestor(const std::vector<FileWatchEvent>& events);
    void followFile();
    void scheduleDebounce();

    std::string directory_;
    std::string fileName_;
    std::shared_ptr<FileWatchSource> source_;
    std::shared_ptr<PathWatch> file_;
    std::unique_ptr<FileWatch> directoryWatch_;
    // While the directory is missing: a watch on the nearest directory above it, and the entry of
    // that directory on the way down to it.
    std::unique_ptr<FileWatch> ancestorWatch_;
    std::string awaitedEntry_;
    Debounce debounce_;
};

} // namespace korvane
