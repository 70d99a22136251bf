#include "config/configfilewatcher.h"

#include <algorithm>
#include <filesystem>

namespace korvane {

ConfigFileWatcher::ConfigFileWatcher(const std::string& directory, std::string fileName, Scheduler& scheduler,
                                     std::shared_ptr<FileWatchSource> source)
    : directory_(directory)
    , fileName_(std::move(fileName))
    , source_(source)
    , file_(PathWatch::create((std::filesystem::path(directory) / fileName_).string(), scheduler, source))
    , debounce_(scheduler, debounceInterval) {}

ConfigFileWatcher::~ConfigFileWatcher() {
    stop();
}

void ConfigFileWatcher::start() {
    file_->onChange = [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->scheduleDebounce();
        }
    };
    file_->open(0);

    // An unopenable directory is not retried: without it only the file's own changes are seen.
    auto opened = source_->open(directory_, FileEvent::write, [weak = weak_from_this()](const auto& events) {
        if (const auto self = weak.lock()) {
            self->handleDirectory(events);
        }
    });
    if (opened) {
        directoryWatch_ = std::move(*opened);
    }
}

void ConfigFileWatcher::stop() {
    debounce_.cancel();
    file_->close();
    directoryWatch_.reset();
}

void ConfigFileWatcher::handleDirectory(const std::vector<FileWatchEvent>& events) {
    // Other files live here too (the usage history is saved after every completion); only
    // entries of our own file matter. An event without a name may be any entry.
    const bool concernsFile = std::any_of(events.begin(), events.end(), [this](const FileWatchEvent& event) {
        return event.name.empty() || event.name == fileName_;
    });
    std::error_code error;
    if (!concernsFile || !std::filesystem::exists(file_->path(), error)) {
        return;
    }
    // The name may now stand for another file (created anew, or renamed over the old one).
    file_->reopen();
    scheduleDebounce();
}

void ConfigFileWatcher::scheduleDebounce() {
    debounce_.schedule([weak = weak_from_this()] {
        const auto self = weak.lock();
        if (self && self->onChange) {
            self->onChange();
        }
    });
}

} // namespace korvane
