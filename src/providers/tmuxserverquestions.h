#pragma once

#include "base/clock.h"
#include "base/workerpool.h"
#include "platform/processrunner.h"
#include "providers/serverquestions.h"
#include "providers/tmuxsocket.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Asks tmux servers which pane each of their clients shows, as ServerQuestions asks: on workers, all
// the questions of a detection started before one wait of at most `waitLimit` for them, silent servers
// not waited for until they answer. Main thread; the questions run on the pool.
class TmuxServerQuestions {
public:
    // Seconds the main thread waits for all the questions of one detection.
    static constexpr double waitLimit = ServerQuestions::waitLimit;
    // Seconds a question may take on its worker before tmux is stopped.
    static constexpr double questionTimeout = 2.0;
    // What list-clients prints of each client: the client and the pane it shows. Spaces part the
    // fields, since a client without a UTF-8 locale prints a tab as "_".
    static constexpr std::string_view listFormat = "#{client_pid} #{client_tty} #{pane_pid} #{pane_tty}";

    // `clock` judges the wait, so that tests can let questions take virtual time.
    TmuxServerQuestions(std::shared_ptr<ProcessRunner> runner, WorkerPool& pool,
                        const Clock& clock = SystemClock::shared());

    // What list-clients printed for each of `servers`, asked with the tmux at `tmux`, in their
    // order; absent where the server failed, did not answer within the detection's `wait` (one of
    // their own where none is given) or is silent.
    std::vector<std::optional<std::string>> listings(const std::string& tmux,
                                                     const std::vector<TmuxSocket>& servers,
                                                     ServerQuestions::Wait* wait = nullptr);

    // Starts the questions to `servers` for the detection of `wait`; `listings` of what this returns
    // waits for them.
    ServerQuestions::Pending ask(const std::string& tmux, const std::vector<TmuxSocket>& servers,
                                 ServerQuestions::Wait& wait);
    std::vector<std::optional<std::string>> listings(const ServerQuestions::Pending& asked,
                                                     const ServerQuestions::Wait& wait);

    // Whether `server` is remembered as one that did not answer.
    bool isSilent(const TmuxSocket& server);

    // The question put to a server: list-clients from an empty environment in "/", so that nothing of
    // Korvane's reaches the server.
    static ProcessRequest request(const std::string& tmux, const std::string& socket);

private:
    static std::vector<ServerQuestions::Question> questionsTo(const std::string& tmux,
                                                              const std::vector<TmuxSocket>& servers);

    ServerQuestions questions_;
};

} // namespace korvane
