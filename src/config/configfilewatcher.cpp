#include "config/configfilewatcher.h"

#include <algorithm>
#include <filesystem>

namespace korvane {

namespace {

constexpr FileEvent directoryEvents = FileEvent::write | FileEvent::remove | FileEvent::rename;

} // namespace

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
    watchDirectory();
}

void ConfigFileWatcher::stop() {
    debounce_.cancel();
    file_->close();
    directoryWatch_.reset();
    ancestorWatch_.reset();
}

void ConfigFileWatcher::watchDirectory() {
    // Two passes: the directory may appear between the failed open and the watch above it.
    for (int pass = 0; pass < 2; ++pass) {
        directoryWatch_.reset();
        ancestorWatch_.reset();
        auto opened =
            source_->open(directory_, directoryEvents, [weak = weak_from_this()](const auto& events) {
                if (const auto self = weak.lock()) {
                    self->handleDirectory(events);
                }
            });
        if (opened) {
            directoryWatch_ = std::move(*opened);
            return;
        }
        if (!watchAncestor()) {
            return;
        }
    }
}

// Watches the nearest existing directory above the missing one; true when the next directory down
// exists by now, so that the caller should try again.
bool ConfigFileWatcher::watchAncestor() {
    auto below = std::filesystem::path(directory_);
    if (!below.has_filename()) {
        below = below.parent_path();
    }
    for (auto above = below.parent_path(); !above.empty() && above != below;
         below = above, above = above.parent_path()) {
        auto opened =
            source_->open(above.string(), directoryEvents, [weak = weak_from_this()](const auto& events) {
                if (const auto self = weak.lock()) {
                    self->handleAncestor(events);
                }
            });
        if (opened) {
            ancestorWatch_ = std::move(*opened);
            awaitedEntry_ = below.filename().string();
            std::error_code error;
            return std::filesystem::exists(below, error);
        }
    }
    return false;
}

void ConfigFileWatcher::handleDirectory(const std::vector<FileWatchEvent>& events) {
    const bool directoryGone = std::any_of(events.begin(), events.end(), [](const FileWatchEvent& event) {
        return event.name.empty() && (event.kind == FileEvent::remove || event.kind == FileEvent::rename);
    });
    if (directoryGone) {
        // The kernel drops a watch whose directory is deleted; wait for the directory to return.
        watchDirectory();
        if (directoryWatch_) {
            followFile();
        }
        return;
    }
    // Other files live here too (the usage history is saved after every completion); only
    // entries of our own file matter. An event without a name may be any entry.
    const bool concernsFile = std::any_of(events.begin(), events.end(), [this](const FileWatchEvent& event) {
        return event.name.empty() || event.name == fileName_;
    });
    if (concernsFile) {
        followFile();
    }
}

void ConfigFileWatcher::handleAncestor(const std::vector<FileWatchEvent>& events) {
    const bool onTheWay = std::any_of(events.begin(), events.end(), [this](const FileWatchEvent& event) {
        return event.name.empty() || event.name == awaitedEntry_;
    });
    if (!onTheWay) {
        return;
    }
    watchDirectory();
    if (directoryWatch_) {
        // The directory may have come back with the file already in it, its entry never seen.
        followFile();
    }
}

void ConfigFileWatcher::followFile() {
    std::error_code error;
    if (!std::filesystem::exists(file_->path(), error)) {
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
