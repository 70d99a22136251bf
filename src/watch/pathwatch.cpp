#include "watch/pathwatch.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr int retryLimit = 3;
constexpr double firstRetryDelay = 0.1;
constexpr double rearmDelay = 0.1;
constexpr FileEvent watchedEvents = FileEvent::write | FileEvent::remove | FileEvent::rename;

} // namespace

std::shared_ptr<PathWatch> PathWatch::create(std::string path, Scheduler& scheduler,
                                             std::shared_ptr<FileWatchSource> source) {
    return std::shared_ptr<PathWatch>(new PathWatch(std::move(path), scheduler, std::move(source)));
}

PathWatch::PathWatch(std::string path, Scheduler& scheduler, std::shared_ptr<FileWatchSource> source)
    : path_(std::move(path))
    , scheduler_(scheduler)
    , source_(std::move(source)) {}

PathWatch::~PathWatch() {
    close();
}

void PathWatch::open(int attempt) {
    // A pending retry and an open from elsewhere must not both hold a watch on the path.
    if (watch_ != nullptr) {
        return;
    }
    retry_.cancel();
    auto opened = source_->open(path_, watchedEvents, [weak = weak_from_this()](const auto& events) {
        if (const auto self = weak.lock()) {
            self->handle(events);
        }
    });
    if (opened) {
        watch_ = std::move(*opened);
        return;
    }
    if (attempt < retryLimit) {
        const double delay = firstRetryDelay * static_cast<double>(1 << attempt);
        retry_ = scheduler_.postAfter(delay, [weak = weak_from_this(), attempt] {
            if (const auto self = weak.lock()) {
                self->open(attempt + 1);
            }
        });
    }
}

void PathWatch::reopen() {
    // Kept until the new watch exists, so that a kernel watch shared by both is not dropped between.
    const auto previous = std::move(watch_);
    open(0);
}

void PathWatch::close() {
    retry_.cancel();
    rearm_.cancel();
    watch_.reset();
}

void PathWatch::handle(const std::vector<FileWatchEvent>& events) {
    const bool gone = std::any_of(events.begin(), events.end(), [](const FileWatchEvent& event) {
        return event.kind == FileEvent::remove || event.kind == FileEvent::rename;
    });
    if (!gone) {
        notify();
        return;
    }
    // The watch follows the old file; the path may soon name a new one (an atomic save).
    watch_.reset();
    rearm_.cancel();
    rearm_ = scheduler_.postAfter(rearmDelay, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->open(0);
            self->notify();
        }
    });
}

void PathWatch::notify() {
    if (onChange) {
        onChange();
    }
}

} // namespace korvane
