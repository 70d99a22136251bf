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
// detection waits for all of its questions together, to tmux and to screen alike, at most `waitLimit`. A
// server that lets that pass is remembered as silent and not waited for again until one of its questions gets
// an answer, asked meanwhile in the background. A question may be asked ahead, as the trigger is being typed,
// so that its answer is in when the detection comes. Main thread; the questions run on the pool.
class ServerQuestions {
public:
    // Seconds the main thread waits for all the questions of one detection.
    static constexpr double waitLimit = 0.010;
    // Servers remembered at most, silent ones among them; the least recently asked go first.
    static constexpr std::size_t memoryCapacity = 64;
    // Seconds a question asked ahead stands for the next detection's: a trigger is typed well within it.
    static constexpr double aheadLifetime = 2.0;

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

    // The wait of one detection, shared by all of its questions: the first to wait sets when it ends.
    // Only a detection at a trigger takes the runs asked ahead as its keys were typed; another (a window
    // come forward) may come after the pane shown changed.
    struct Wait {
        std::optional<Clock::MonotonicTime> endsAt;
        bool atTrigger = true;
    };

    // What each of `questions` printed, in their order; absent where its run failed, did not end within
    // the detection's `wait` (one of their own where none is given) or its server is silent.
    std::vector<std::optional<std::string>> answers(const std::vector<Question>& questions,
                                                    Wait* wait = nullptr);

    // Starts `questions` without waiting; the next `answers` takes their runs, ended or not, within
    // `aheadLifetime`, rather than asking again.
    void askAhead(const std::vector<Question>& questions);

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
        // When `last` was asked ahead for the coming detection; absent once a detection took it.
        std::optional<Clock::MonotonicTime> askedAhead;
    };
    struct Shared {
        std::mutex lock;
        std::condition_variable ended;
    };

    std::shared_ptr<Asked> ask(ProcessRequest request);
    // The run to wait for at the question's server, started unless one is still running or was asked
    // ahead for this detection (`atTrigger`); none while the server is silent. `ahead` marks the run as
    // asked ahead.
    std::shared_ptr<Asked> runFor(const Question& question, bool ahead, bool atTrigger = false);

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
