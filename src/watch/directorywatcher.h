#pragma once

#include "base/scheduler.h"
#include "base/debounce.h"
#include "watch/pathwatch.h"
#include "platform/filewatchsource.h"

#include <functional>
#include <memory>
#include <string>

namespace korvane {

// Watches one directory (or file) of a project and calls onChange once it has been quiet for the
// interval its creator chose. Used by the search side to keep providers fresh. Main thread; hold
// by std::shared_ptr.
class DirectoryWatcher : public std::enable_shared_from_this<DirectoryWatcher> {
public:
    static std::shared_ptr<DirectoryWatcher> create(const std::string& path, double debounceInterval,
                                                    Scheduler& scheduler,
                                                    std::shared_ptr<FileWatchSource> source);
    ~DirectoryWatcher();

    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Called on the main thread once per quiet period after changes. Never called after stop().
    std::function<void()> onChange;

    // Starts watching, retrying when the path cannot be opened yet. Callers start a watcher once.
    void start();

    // Stops watching and drops a pending onChange.
    void stop();

    const std::string& path() const { return watch_->path(); }
    double debounceInterval() const { return debounce_.interval(); }

private:
    DirectoryWatcher(const std::string& path, double debounceInterval, Scheduler& scheduler,
                     std::shared_ptr<FileWatchSource> source);

    void scheduleDebounce();

    std::shared_ptr<PathWatch> watch_;
    Debounce debounce_;
};

} // namespace korvane
