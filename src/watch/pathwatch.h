#pragma once

#include "base/scheduler.h"
#include "platform/filewatchsource.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// Keeps one file or directory under watch: a failed open is retried after 0.1, 0.2 and 0.4 s, and
// after the path is deleted or renamed away it is opened again 0.1 s later, so an atomic save is
// followed. Reports every change through onChange. Main thread; hold by std::shared_ptr.
class PathWatch : public std::enable_shared_from_this<PathWatch> {
public:
    static std::shared_ptr<PathWatch> create(std::string path, Scheduler& scheduler,
                                             std::shared_ptr<FileWatchSource> source);
    ~PathWatch();

    PathWatch(const PathWatch&) = delete;
    PathWatch& operator=(const PathWatch&) = delete;

    // Called for a write, and after the re-open that follows a delete or rename.
    std::function<void()> onChange;

    const std::string& path() const { return path_; }
    bool isWatched() const { return watch_ != nullptr; }

    // Opens the path unless it is already watched; `attempt` counts the failed opens before this one.
    void open(int attempt);

    // Watches whatever file the path names now, dropping the current watch.
    void reopen();

    // Drops the watch and every pending retry or re-open.
    void close();

private:
    PathWatch(std::string path, Scheduler& scheduler, std::shared_ptr<FileWatchSource> source);

    void handle(const std::vector<FileWatchEvent>& events);
    void notify();

    std::string path_;
    Scheduler& scheduler_;
    std::shared_ptr<FileWatchSource> source_;
    std::unique_ptr<FileWatch> watch_;
    CancellationToken retry_;
    CancellationToken rearm_;
};

} // namespace korvane
