#pragma once

#include "base/clock.h"
#include "base/lrumap.h"
#include "base/workerpool.h"
#include "platform/processrunner.h"
#include "providers/tmuxsocket.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Asks tmux servers which pane each of their clients shows. Every question runs on a worker; one
// detection waits for all of its questions together at most `waitLimit`. A server that lets that pass
// is remembered as silent and not waited for again until one of its questions gets an answer, asked
// meanwhile in the background. Main thread; the questions run on the pool.
class TmuxServerQuestions {
public:
    // Seconds the main thread waits for all the questions of one detection.
    static constexpr double waitLimit = 0.010;
    // Seconds a question may take on its worker before tmux is stopped.
    static constexpr double questionTimeout = 2.0;
    // Servers remembered at most, silent ones among them; the least recently asked go first.
    static constexpr std::size_t memoryCapacity = 64;
    // What list-clients prints of each client: the client and the pane it shows. Spaces part the
    // fields, since a client without a UTF-8 locale prints a tab as "_".
    static constexpr std::string_view listFormat = "#{client_pid} #{client_tty} #{pane_pid} #{pane_tty}";

    // `clock` judges the wait, so that tests can let questions take virtual time.
    TmuxServerQuestions(std::shared_ptr<ProcessRunner> runner, WorkerPool& pool,
                        const Clock& clock = SystemClock::shared());
    // Stops the questions still running.
    ~TmuxServerQuestions();
    TmuxServerQuestions(const TmuxServerQuestions&) = delete;
    TmuxServerQuestions& operator=(const TmuxServerQuestions&) = delete;

    // What list-clients printed for each of `servers`, asked with the tmux at `tmux`, in their
    // order; absent where the server failed, did not answer within the wait or is silent.
    std::vector<std::optional<std::string>> listings(const std::string& tmux,
                                                     const std::vector<TmuxSocket>& servers);

    // Whether `server` is remembered as one that did not answer.
    bool isSilent(const TmuxSocket& server);

    // The question put to a server: list-clients from an empty environment in "/", so that nothing of
    // Korvane's reaches the server.
    static ProcessRequest request(const std::string& tmux, const std::string& socket);

private:
    // One list-clients run; written by its worker under the lock.
    struct Question {
        bool ended = false;
        // Ended by itself, not by its time limit: the server answered, or there was none to ask.
        bool answered = false;
        std::optional<std::string> listing;
        Clock::MonotonicTime endedAt{};
    };
    struct Server {
        bool silent = false;
        std::shared_ptr<Question> last;
    };
    struct Shared {
        std::mutex lock;
        std::condition_variable ended;
    };

    std::shared_ptr<Question> ask(const std::string& tmux, const std::string& socket);
    // The question to wait for at `server`, started unless one is still running; none while silent.
    std::shared_ptr<Question> questionFor(const std::string& tmux, const TmuxSocket& server);

    std::shared_ptr<ProcessRunner> runner_;
    WorkerPool& pool_;
    const Clock& clock_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    // Cancelled when this goes: ends every question still running.
    CancellationToken stopping_;
    // By socket path and file; main thread.
    LruMap<std::string, Server> servers_{memoryCapacity};
};

} // namespace korvane
