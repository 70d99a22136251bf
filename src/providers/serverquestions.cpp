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

std::vector<std::optional<std::string>> ServerQuestions::answers(const std::vector<Question>& questions,
                                                                 Wait* shared) {
    Wait own;
    Wait& wait = shared ? *shared : own;
    const auto now = clock_.monotonicNow();
    if (!wait.endsAt) {
        wait.endsAt = now + std::chrono::duration_cast<Clock::MonotonicTime::duration>(
                                std::chrono::duration<double>(waitLimit));
    }
    const auto deadline = *wait.endsAt;
    const auto waitEnds =
        std::chrono::steady_clock::now() + std::max(deadline - now, Clock::MonotonicTime::duration());
    std::vector<std::shared_ptr<Asked>> runs;
    runs.reserve(questions.size());
    for (const Question& question : questions) {
        runs.push_back(runFor(question, false, wait.atTrigger));
    }

    std::vector<std::optional<std::string>> answers(questions.size());
    std::unique_lock lock(shared_->lock);
    shared_->ended.wait_until(lock, waitEnds, [&] {
        return std::all_of(runs.begin(), runs.end(), [](const auto& run) { return !run || run->ended; });
    });
    for (std::size_t index = 0; index < questions.size(); ++index) {
        const auto& run = runs[index];
        if (!run) {
            continue;
        }
        // The clock, not the wait, decides: a question may take virtual time on the calling thread.
        if (run->ended && run->endedAt <= deadline) {
            answers[index] = run->output;
        } else if (Server* known = servers_.find(questions[index].server)) {
            known->silent = true;
        }
    }
    return answers;
}

void ServerQuestions::askAhead(const std::vector<Question>& questions) {
    for (const Question& question : questions) {
        runFor(question, true);
    }
}

bool ServerQuestions::isSilent(const std::string& server) {
    const Server* known = servers_.find(server);
    return known != nullptr && known->silent;
}

std::shared_ptr<ServerQuestions::Asked> ServerQuestions::runFor(const Question& question, bool ahead,
                                                                bool atTrigger) {
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
    const auto now = clock_.monotonicNow();
    const auto lifetime =
        std::chrono::duration_cast<Clock::MonotonicTime::duration>(std::chrono::duration<double>(aheadLifetime));
    // A run asked ahead answers for the moment the trigger began: the pane shown cannot change while
    // the trigger's keys are typed.
    const bool takenAhead = atTrigger && known.askedAhead && now - *known.askedAhead <= lifetime;
    if (!running && !takenAhead) {
        known.last = ask(question.request);
    }
    known.askedAhead = ahead ? std::optional(now) : std::nullopt;
    return known.silent ? nullptr : known.last;
}

std::shared_ptr<ServerQuestions::Asked> ServerQuestions::ask(ProcessRequest request) {
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
