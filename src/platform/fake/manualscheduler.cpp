#include "platform/fake/manualscheduler.h"

#include "base/clock.h"

#include <vector>

namespace korvane {

void ManualScheduler::post(Task task) {
    timed_.emplace(Key{now_, sequence_++}, TimedTask{std::move(task), CancellationToken()});
}

CancellationToken ManualScheduler::postAfter(double seconds, Task task) {
    CancellationToken token;
    const double due = now_ + (seconds > 0 ? seconds : 0.0);
    timed_.emplace(Key{due, sequence_++}, TimedTask{std::move(task), token});
    return token;
}

CancellationToken ManualScheduler::runInBackground(TaskPriority, Job job) {
    CancellationToken token;
    jobs_.emplace_back(std::move(job), token);
    return token;
}

CancellationToken ManualScheduler::runInBackgroundAfter(double seconds, TaskPriority, Job job) {
    CancellationToken token;
    timedJobs_.emplace(Key{now_ + (seconds > 0 ? seconds : 0.0), sequence_++},
                       std::pair{std::move(job), token});
    return token;
}

CancellationToken ManualScheduler::watchReadable(int fd, Task onReadable) {
    CancellationToken token;
    readers_.emplace(sequence_++, Reader{fd, std::move(onReadable), token});
    return token;
}

void ManualScheduler::markReadable(int fd) {
    post([this, fd] {
        // Collect first: a reader may register or cancel readers while it runs.
        std::vector<std::uint64_t> ids;
        for (const auto& [id, reader] : readers_) {
            if (reader.fd == fd) {
                ids.push_back(id);
            }
        }
        for (const auto id : ids) {
            const auto found = readers_.find(id);
            if (found == readers_.end()) {
                continue;
            }
            if (found->second.token.isCancelled()) {
                readers_.erase(found);
                continue;
            }
            const Task onReadable = found->second.onReadable;
            onReadable();
        }
    });
}

std::size_t ManualScheduler::readerCount() const {
    std::size_t count = 0;
    for (const auto& entry : readers_) {
        if (!entry.second.token.isCancelled()) {
            ++count;
        }
    }
    return count;
}

void ManualScheduler::runBackgroundJobs() {
    while (!jobs_.empty()) {
        auto [job, token] = std::move(jobs_.front());
        jobs_.pop_front();
        if (!token.isCancelled()) {
            job(token);
        }
    }
}

bool ManualScheduler::runOneDue(double limit) {
    if (!jobs_.empty()) {
        auto [job, token] = std::move(jobs_.front());
        jobs_.pop_front();
        if (!token.isCancelled()) {
            job(token);
        }
        return true;
    }
    // A background job whose time came, if it came before the next task's, is queued as if asked for now.
    if (!timedJobs_.empty() && timedJobs_.begin()->first.first <= limit &&
        (timed_.empty() || timedJobs_.begin()->first < timed_.begin()->first)) {
        auto node = timedJobs_.extract(timedJobs_.begin());
        moveTo(node.key().first);
        jobs_.push_back(std::move(node.mapped()));
        return true;
    }
    if (timed_.empty() || timed_.begin()->first.first > limit) {
        return false;
    }
    auto node = timed_.extract(timed_.begin());
    moveTo(node.key().first);
    if (!node.mapped().token.isCancelled()) {
        node.mapped().task();
    }
    return true;
}

void ManualScheduler::runUntilIdle() {
    while (runOneDue(now_)) {
    }
}

void ManualScheduler::advance(double seconds) {
    const double target = now_ + (seconds > 0 ? seconds : 0.0);
    while (runOneDue(target)) {
    }
    moveTo(target);
}

void ManualScheduler::moveTo(double time) {
    if (time <= now_) {
        return;
    }
    if (clock_ != nullptr) {
        clock_->advance(time - now_);
    }
    now_ = time;
}

} // namespace korvane
