#include "providers/tmuxserverquestions.h"

#include <algorithm>
#include <chrono>

namespace korvane {

namespace {

std::string keyOf(const TmuxSocket& server) {
    return server.path + '\n' + std::to_string(server.file.device) + ':' + std::to_string(server.file.inode);
}

} // namespace

TmuxServerQuestions::TmuxServerQuestions(std::shared_ptr<ProcessRunner> runner, WorkerPool& pool,
                                         const Clock& clock)
    : runner_(std::move(runner))
    , pool_(pool)
    , clock_(clock) {}

TmuxServerQuestions::~TmuxServerQuestions() {
    stopping_.cancel();
}

std::vector<std::optional<std::string>>
TmuxServerQuestions::listings(const std::string& tmux, const std::vector<TmuxSocket>& servers) {
    const auto wait =
        std::chrono::duration_cast<Clock::MonotonicTime::duration>(std::chrono::duration<double>(waitLimit));
    const auto deadline = clock_.monotonicNow() + wait;
    const auto waitEnds = std::chrono::steady_clock::now() + wait;
    std::vector<std::shared_ptr<Question>> questions;
    questions.reserve(servers.size());
    for (const TmuxSocket& server : servers) {
        questions.push_back(questionFor(tmux, server));
    }

    std::vector<std::optional<std::string>> listings(servers.size());
    std::unique_lock lock(shared_->lock);
    shared_->ended.wait_until(lock, waitEnds, [&] {
        return std::all_of(questions.begin(), questions.end(),
                           [](const auto& question) { return !question || question->ended; });
    });
    for (std::size_t index = 0; index < servers.size(); ++index) {
        const auto& question = questions[index];
        if (!question) {
            continue;
        }
        // The clock, not the wait, decides: a question may take virtual time on the calling thread.
        if (question->ended && question->endedAt <= deadline) {
            listings[index] = question->listing;
        } else if (Server* known = servers_.find(keyOf(servers[index]))) {
            known->silent = true;
        }
    }
    return listings;
}

bool TmuxServerQuestions::isSilent(const TmuxSocket& server) {
    const Server* known = servers_.find(keyOf(server));
    return known != nullptr && known->silent;
}

std::shared_ptr<TmuxServerQuestions::Question> TmuxServerQuestions::questionFor(const std::string& tmux,
                                                                                const TmuxSocket& server) {
    const std::string key = keyOf(server);
    if (!servers_.contains(key)) {
        servers_.insert(key, Server{});
    }
    Server& known = *servers_.find(key);
    bool running = false;
    {
        std::lock_guard lock(shared_->lock);
        running = known.last && !known.last->ended;
        if (known.silent && known.last && known.last->ended && known.last->answered) {
            known.silent = false;
        }
    }
    if (!running) {
        known.last = ask(tmux, server.path);
    }
    return known.silent ? nullptr : known.last;
}

std::shared_ptr<TmuxServerQuestions::Question> TmuxServerQuestions::ask(const std::string& tmux,
                                                                        const std::string& socket) {
    auto question = std::make_shared<Question>();
    ProcessRequest request = TmuxServerQuestions::request(tmux, socket);
    request.cancellation = stopping_;
    // The job holds what it writes to, never this object, which may be gone when tmux ends.
    pool_.run([runner = runner_, shared = shared_, question, request = std::move(request), &clock = clock_] {
        auto result = runner->run(request);
        const bool answered = result && result->ending != ProcessResult::Ending::timedOut &&
                              result->ending != ProcessResult::Ending::cancelled;
        std::optional<std::string> listing;
        if (result && result->succeeded()) {
            listing = std::move(result->output);
        }
        {
            std::lock_guard lock(shared->lock);
            question->ended = true;
            question->answered = answered;
            question->listing = std::move(listing);
            question->endedAt = clock.monotonicNow();
        }
        shared->ended.notify_all();
    });
    return question;
}

ProcessRequest TmuxServerQuestions::request(const std::string& tmux, const std::string& socket) {
    ProcessRequest request;
    request.executable = tmux;
    request.arguments = {"-S", socket, "list-clients", "-F", std::string(listFormat)};
    request.inheritEnvironment = false;
    request.workingDirectory = "/";
    request.timeout = questionTimeout;
    request.killGrace = 0.05;
    request.outputLimit = 64 * 1024;
    return request;
}

} // namespace korvane
