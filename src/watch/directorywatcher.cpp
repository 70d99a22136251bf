#include "watch/directorywatcher.h"

namespace korvane {

std::shared_ptr<DirectoryWatcher> DirectoryWatcher::create(const std::string& path, double debounceInterval,
                                                           Scheduler& scheduler,
                                                           std::shared_ptr<FileWatchSource> source) {
    return std::shared_ptr<DirectoryWatcher>(
        new DirectoryWatcher(path, debounceInterval, scheduler, std::move(source)));
}

DirectoryWatcher::DirectoryWatcher(const std::string& path, double debounceInterval, Scheduler& scheduler,
                                   std::shared_ptr<FileWatchSource> source)
    : watch_(PathWatch::create(path, scheduler, std::move(source)))
    , debounce_(scheduler, debounceInterval) {}

DirectoryWatcher::~DirectoryWatcher() {
    stop();
}

void DirectoryWatcher::start() {
    watch_->onChange = [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->scheduleDebounce();
        }
    };
    watch_->open(0);
}

void DirectoryWatcher::stop() {
    debounce_.cancel();
    watch_->close();
}

void DirectoryWatcher::scheduleDebounce() {
    debounce_.schedule([weak = weak_from_this()] {
        const auto self = weak.lock();
        if (self && self->onChange) {
            self->onChange();
        }
    });
}

} // namespace korvane
