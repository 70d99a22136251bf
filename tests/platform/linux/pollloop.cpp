#include "pollloop.h"

#include <algorithm>
#include <poll.h>

namespace korvane::test {

void PollLoop::post(Task task) {
    postAfter(0, std::move(task));
}

CancellationToken PollLoop::postAfter(double seconds, Task task) {
    CancellationToken token;
    const auto due =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(std::max(seconds, 0.0)));
    timers_.emplace(std::make_pair(due, sequence_++), std::make_pair(std::move(task), token));
    return token;
}

CancellationToken PollLoop::runInBackground(TaskPriority, Job job) {
    CancellationToken token;
    post([job = std::move(job), token] {
        if (!token.isCancelled()) {
            job(token);
        }
    });
    return token;
}

CancellationToken PollLoop::watchReadable(int fd, Task onReadable) {
    CancellationToken token;
    readers_.push_back(Reader{fd, std::move(onReadable), token});
    return token;
}

bool PollLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(timeoutSeconds));
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        runOnce(deadline);
    }
    return done();
}

void PollLoop::runFor(double seconds) {
    runUntil([] { return false; }, seconds);
}

void PollLoop::runOnce(TimePoint deadline) {
    std::erase_if(readers_, [](const Reader& reader) { return reader.token.isCancelled(); });

    auto wakeAt = deadline;
    if (!timers_.empty()) {
        wakeAt = std::min(wakeAt, timers_.begin()->first.first);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - std::chrono::steady_clock::now());
    std::vector<pollfd> fds;
    for (const auto& reader : readers_) {
        fds.push_back(pollfd{reader.fd, POLLIN, 0});
    }
    ::poll(fds.data(), fds.size(), static_cast<int>(std::max<std::int64_t>(wait.count(), 0)));

    // Readers may add readers; serve those that were polled, by position.
    const std::vector<Reader> polled = readers_;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if ((fds[i].revents & POLLIN) != 0 && !polled[i].token.isCancelled()) {
            polled[i].onReadable();
        }
    }
    const auto now = std::chrono::steady_clock::now();
    while (!timers_.empty() && timers_.begin()->first.first <= now) {
        auto node = timers_.extract(timers_.begin());
        if (!node.mapped().second.isCancelled()) {
            node.mapped().first();
        }
    }
}

} // namespace korvane::test
