#include "platform/fake/fakeclock.h"
#include "platform/fake/fakeprocessrunner.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string_view>

namespace korvane {

FakeProcessRunner::FakeProcessRunner(FakeClock* clock)
    : clock_(clock) {}

Expected<ProcessResult, ProcessLaunchError> FakeProcessRunner::run(const ProcessRequest& request) {
    Script script;
    {
        std::unique_lock lock(mutex_);
        requests_.push_back(request);
        const std::string key = request.arguments.empty() ? std::string() : request.arguments.back();
        auto it = scripts_.find(key);
        script = it != scripts_.end() ? it->second : defaultScript_;
        if (script.launchError) {
            return makeUnexpected(ProcessLaunchError{*script.launchError, std::strerror(*script.launchError)});
        }
        maxRunning_ = std::max(maxRunning_, ++running_);
        if (holding_) {
            ++held_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !holding_ || released_ > 0; });
            if (released_ > 0) {
                --released_;
            }
            --held_;
        }
        --running_;
    }

    ProcessResult result;
    const bool timedOut = script.duration >= request.timeout;
    if (clock_ != nullptr) {
        clock_->advance(std::min(script.duration, request.timeout));
    }
    result.output = std::move(script.output);
    bool refused = false;
    if (request.onOutput) {
        std::string kept;
        refused = !request.onOutput(result.output, kept) || !request.onOutput({}, kept);
        result.output = std::move(kept);
    }
    if (request.errorOutput == ProcessRequest::ErrorOutput::capture) {
        result.errorOutput = script.errorOutput.substr(0, request.errorOutputLimit);
    }
    const bool pastLimit = refused || (!request.onOutput && result.output.size() > request.outputLimit);
    bool pastBudget = false;
    if (request.outputBudget) {
        const auto keep = [&](std::string& text, std::size_t limit) {
            const std::size_t wanted = std::min(text.size(), limit);
            const std::size_t kept = request.outputBudget->takeUpTo(wanted);
            pastBudget = pastBudget || kept < wanted;
            text.resize(kept);
        };
        if (!request.onOutput) {
            keep(result.output, request.outputLimit);
        }
        keep(result.errorOutput, request.errorOutputLimit);
    }
    if (request.cancellation && request.cancellation->isCancelled()) {
        result.ending = ProcessResult::Ending::cancelled;
        result.status = SIGTERM;
    } else if (pastLimit || pastBudget) {
        result.output.resize(std::min(result.output.size(), request.outputLimit));
        result.ending = ProcessResult::Ending::outputLimitExceeded;
        result.status = SIGKILL;
    } else if (timedOut) {
        result.ending = ProcessResult::Ending::timedOut;
        result.status = SIGTERM;
    } else {
        result.status = script.exitStatus;
    }
    return result;
}

void FakeProcessRunner::respond(const std::string& lastArgument, Script script) {
    std::lock_guard lock(mutex_);
    scripts_[lastArgument] = std::move(script);
}

void FakeProcessRunner::respondByDefault(Script script) {
    std::lock_guard lock(mutex_);
    defaultScript_ = std::move(script);
}

void FakeProcessRunner::hold() {
    std::lock_guard lock(mutex_);
    holding_ = true;
}

void FakeProcessRunner::release(std::size_t runs) {
    std::lock_guard lock(mutex_);
    released_ += runs;
    changed_.notify_all();
}

void FakeProcessRunner::releaseAll() {
    std::lock_guard lock(mutex_);
    holding_ = false;
    released_ = 0;
    changed_.notify_all();
}

bool FakeProcessRunner::waitUntilHeld(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return held_ >= count; });
}

std::vector<ProcessRequest> FakeProcessRunner::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t FakeProcessRunner::runCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

std::size_t FakeProcessRunner::maxConcurrentRuns() const {
    std::lock_guard lock(mutex_);
    return maxRunning_;
}

} // namespace korvane
