#include "providers/serverquestions.h"

#include <algorithm>
#include <chrono>

namespace korvane {

ServerQuestions::ServerQuestions(std::shared_ptr<ProcessRunner> runner, WorkerPool& pool, const Clock& clock)
    : runner_(std::move(runner))
    , pool_(pool)
    , clock_(clock) {}

ServerQuestions::~ServerQuestions() {
    stopping_.cancel();
}

ServerQuestions::Pending ServerQuestions::ask(const std::vector<Question>& questions, Wait& wait) {
    if (!wait.endsAt) {
        wait.endsAt = clock_.monotonicNow() + std::chrono::duration_cast<Clock::MonotonicTime::duration>(
                                                  std::chrono::duration<double>(waitLimit));
    }
    Pending pending;
    pending.servers.reserve(questions.size());
    pending.runs.reserve(questions.size());
    for (const Question& question : questions) {
        pending.servers.push_back(question.server);
        pending.runs.push_back(runFor(question));
    }
    return pending;
}

std::vector<std::optional<std::string>> ServerQuestions::answers(const Pending& pending, const Wait& wait) {
    const auto now = clock_.monotonicNow();
    const auto deadline = wait.endsAt.value_or(now);
    const auto waitEnds =
        std::chrono::steady_clock::now() + std::max(deadline - now, Clock::MonotonicTime::duration());
    const auto& runs = pending.runs;
    std::vector<std::optional<std::string>> answers(runs.size());
    std::unique_lock lock(shared_->lock);
    shared_->ended.wait_until(lock, waitEnds, [&] {
        return std::all_of(runs.begin(), runs.end(), [](const auto& run) { return !run || run->ended; });
    });
    for (std::size_t index = 0; index < runs.size(); ++index) {
        const auto& run = runs[index];
        if (!run) {
            continue;
        }
        // The clock, not the wait, decides: a question may take virtual time on the calling thread.
        if (run->ended && run->endedAt <= deadline) {
            answers[index] = run->output;
        } else if (Server* known = servers_.find(pending.servers[index])) {
            known->silent = true;
        }
    }
    return answers;
}

std::vector<std::optional<std::string>> ServerQuestions::answers(const std::vector<Question>& questions,
                                                                 Wait* shared) {
    Wait own;
    Wait& wait = shared ? *shared : own;
    return answers(ask(questions, wait), wait);
}

bool ServerQuestions::isSilent(const std::string& server) {
    const Server* known = servers_.find(server);
    return known != nullptr && known->silent;
}

std::shared_ptr<ServerQuestions::Asked> ServerQuestions::runFor(const Question& question) {
    if (!servers_.contains(question.server)) {
        servers_.insert(question.server, Server{});
    }
    Server& known = *servers_.find(question.server);
    bool running = false;
    {
        std::lock_guard lock(shared_->lock);
        running = known.last && !known.last->ended;
        if (known.silent && known.last && known.last->ended && known.last->answered) {
            known.silent = false;
        }
    }
    if (!running) {
        known.last = start(question.request);
    }
    return known.silent ? nullptr : known.last;
}

std::shared_ptr<ServerQuestions::Asked> ServerQuestions::start(ProcessRequest request) {
    auto asked = std::make_shared<Asked>();
    request.cancellation = stopping_;
    // The job holds what it writes to, never this object, which may be gone when the client ends.
    pool_.run([runner = runner_, shared = shared_, asked, request = std::move(request), &clock = clock_] {
        auto result = runner->run(request);
        const bool answered = result && result->ending != ProcessResult::Ending::timedOut &&
                              result->ending != ProcessResult::Ending::cancelled;
        std::optional<std::string> output;
        if (result && result->succeeded()) {
            output = std::move(result->output);
        }
        {
            std::lock_guard lock(shared->lock);
            asked->ended = true;
            asked->answered = answered;
            asked->output = std::move(output);
            asked->endedAt = clock.monotonicNow();
        }
        shared->ended.notify_all();
    });
    return asked;
}

} // namespace korvane
