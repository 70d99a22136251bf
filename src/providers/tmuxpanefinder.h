#pragma once

#include "base/clock.h"
#include "base/workerpool.h"
#include "platform/processrunner.h"
#include "platform/processtable.h"
#include "providers/processinfo.h"
#include "providers/programonpath.h"
#include "providers/tmuxserverquestions.h"
#include "providers/tmuxsocket.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Reads a terminal that runs tmux through the pane the user sees there: the server a tmux client
// connects to (found as tmux finds it from the client's arguments and environment) is asked which
// pane that client shows, and the pane's processes stand for the client's terminal. Only a client
// that runs the tmux Korvane would run, and sees the files as Korvane does, is followed, and only to
// a socket of the user's own on which that same tmux listens. Main thread.
class TmuxPaneFinder {
public:
    // The name tmux gives its client process.
    static constexpr std::string_view clientName = "tmux: client";

    // tmux is looked for in the absolute entries of `searchPath` (a PATH value); the servers are
    // asked on `questions`, which outlives this finder, as `clock` does.
    TmuxPaneFinder(std::shared_ptr<ProcessTable> table, std::shared_ptr<ProcessRunner> runner,
                   WorkerPool& questions, std::string searchPath, const Clock& clock = SystemClock::shared());

    // `processes`, a terminal's as ProcessInfo::descendants lists them, where each device whose
    // foreground job is a tmux client holds, in place of its own processes, those of the pane the
    // client shows. A device whose pane cannot be found within the detection's `wait` (one of its own where
    // none is given) stays as it was.
    std::vector<ProcessInfo::DescendantInfo>
    withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes, ServerQuestions::Wait* wait = nullptr);

    // Asks now, without waiting, the servers of the tmux clients in front among `processes`: the next
    // withPanesShown takes their answers.
    void askAhead(const std::vector<ProcessInfo::DescendantInfo>& processes);

private:
    // The pane a client shows: its first process and its terminal device below "/dev/".
    struct Pane {
        std::int32_t pid = 0;
        std::string tty;
    };
    // A client in front of its terminal device, and the index of its server.
    struct Client {
        std::int32_t pid = 0;
        std::string tty;
        std::size_t server = 0;
    };
    using Program = ProgramOnPath::Found;

    // The pane that client `pid` on the device `tty` shows, by list-clients' lines.
    static std::optional<Pane> paneOf(std::string_view listing, std::int32_t pid, const std::string& tty);

    // The tmux clients in front of their devices among `processes` that may be followed, one a device,
    // each with its server's index in `servers`, which gains the servers not yet in it.
    std::vector<Client> clientsInFront(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                       const Program& tmux, std::vector<TmuxSocket>& servers);
    std::optional<TmuxSocket> serverOf(std::int32_t client, const Program& tmux);
    std::optional<Pane> shownPane(const Client& client, const std::optional<std::string>& listing);

    std::shared_ptr<ProcessTable> table_;
    ProgramOnPath tmux_;
    TmuxServerQuestions questions_;
};

} // namespace korvane
