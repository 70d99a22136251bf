#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/lrumap.h"
#include "base/workerpool.h"
#include "platform/processrunner.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Asks servers of other programs (tmux, screen) a question each through a client run on a worker; one
// detection starts all of its questions, to tmux and to screen alike, and then waits for them together,
// at most `waitLimit`. A server that lets that pass is remembered as silent and not waited for again until
// one of its questions gets an answer, asked meanwhile in the background. Questions are asked only when a
// detection needs them, never as keys are typed. Main thread; the questions run on the pool.
class ServerQuestions {
public:
    // Seconds the main thread waits for all the questions of one detection: with builds on every core,
    // tmux's list-clients took 17 ms at most in 99 of 100 questions, and Korvane's own run of it up to
    // three times a plain one's in a debug build (docs/performance.md). A silent server costs this once.
    static constexpr double waitLimit = 0.050;
    // Servers remembered at most, silent ones among them; the least recently asked go first.
    static constexpr std::size_t memoryCapacity = 64;

    // A question: the server it goes to, by a key that names that server alone, and the run that asks.
    struct Question {
        std::string server;
        ProcessRequest request;
    };

    // `clock` judges the wait, so that tests can let questions take virtual time.
    ServerQuestions(std::shared_ptr<ProcessRunner> runner, WorkerPool& pool,
                    const Clock& clock = SystemClock::shared());
    // Stops the questions still running.
    ~ServerQuestions();
    ServerQuestions(const ServerQuestions&) = delete;
    ServerQuestions& operator=(const ServerQuestions&) = delete;

    // The wait of one detection, shared by all of its questions: the first asked sets when it ends.
    struct Wait {
        std::optional<Clock::MonotonicTime> endsAt;
    };

private:
    struct Asked;

public:
    // Questions started and not yet waited for.
    struct Pending {
        std::vector<std::string> servers;
        std::vector<std::shared_ptr<Asked>> runs;
    };

    // Starts `questions` for the detection of `wait`, whose end it sets unless an earlier question did.
    Pending ask(const std::vector<Question>& questions, Wait& wait);
    // What each question of `pending` printed, in their order, waiting until the end of `wait` at most;
    // absent where its run failed, did not end in time or its server is silent.
    std::vector<std::optional<std::string>> answers(const Pending& pending, const Wait& wait);
    // Both at once, for a detection of their own where no `wait` is given.
    std::vector<std::optional<std::string>> answers(const std::vector<Question>& questions,
                                                    Wait* wait = nullptr);

    // Whether the server of key `server` is remembered as one that did not answer.
    bool isSilent(const std::string& server);

private:
    // One run; written by its worker under the lock.
    struct Asked {
        bool ended = false;
        // Ended by itself, not by its time limit: the server answered, or there was none to ask.
        bool answered = false;
        std::optional<std::string> output;
        Clock::MonotonicTime endedAt{};
    };
    struct Server {
        bool silent = false;
        std::shared_ptr<Asked> last;
    };
    struct Shared {
        std::mutex lock;
        std::condition_variable ended;
    };

    std::shared_ptr<Asked> start(ProcessRequest request);
    // The run to wait for at the question's server, started unless one is still running; none while
    // the server is silent.
    std::shared_ptr<Asked> runFor(const Question& question);

    std::shared_ptr<ProcessRunner> runner_;
    WorkerPool& pool_;
    const Clock& clock_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    // Cancelled when this goes: ends every run still going.
    CancellationToken stopping_;
    // By server key; main thread.
    LruMap<std::string, Server> servers_{memoryCapacity};
};

} // namespace korvane
