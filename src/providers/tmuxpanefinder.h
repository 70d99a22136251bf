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
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// Reads a terminal that runs tmux through the pane the user sees there: the server a tmux client
// connects to (found as tmux finds it from the client's arguments and environment) is asked which
// pane that client shows, and the pane's processes stand for the client's terminal. Only a client
// that runs the tmux Korvane would run, and sees the files as Korvane does, is followed, and only to
// a socket of the user's own on which that same tmux listens. Where the pane cannot be known, the
// terminal gives no folder: the client's is where tmux was typed, not what the pane shows. Main thread.
class TmuxPaneFinder {
public:
    // The name tmux gives its client process.
    static constexpr std::string_view clientName = "tmux: client";

    // tmux is looked for in the absolute entries of `searchPath` (a PATH value); the servers are
    // asked on `questions`, which outlives this finder, as `clock` does.
    TmuxPaneFinder(std::shared_ptr<ProcessTable> table, std::shared_ptr<ProcessRunner> runner,
                   WorkerPool& questions, std::string searchPath, const Clock& clock = SystemClock::shared());

private:
    // A client in front of its terminal device, and the index of its server where it may be asked.
    struct Client {
        std::int32_t pid = 0;
        std::string tty;
        std::optional<std::size_t> server;
    };

public:
    // The questions one detection put to the servers of the tmux clients in front, not yet waited for.
    struct Asked {
        std::vector<Client> clients;
        ServerQuestions::Pending questions;
    };

    // Starts the questions to the servers of the tmux clients in front among `processes` (a terminal's,
    // as ProcessInfo::descendants lists them) for the detection of `wait`.
    Asked ask(const std::vector<ProcessInfo::DescendantInfo>& processes, ServerQuestions::Wait& wait);

    // `processes` where each device whose foreground job is a tmux client holds, in place of its own
    // processes, those of the pane the client shows, counted as that device's; where that pane cannot
    // be known (no answer by the end of `wait`), its own processes without their folders.
    std::vector<ProcessInfo::DescendantInfo>
    withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes, const Asked& asked,
                   const ServerQuestions::Wait& wait);
    // Both at once, within a wait of its own.
    std::vector<ProcessInfo::DescendantInfo>
    withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes);

    // The server process of each client followed at the last detection, by client: what the programs of
    // its panes read tells its tab, without asking anything.
    const std::map<std::int32_t, std::int32_t>& serverOfClient() const { return serverOfClient_; }
    // The device of the pane each of them showed then, where the server told it.
    const std::map<std::int32_t, std::string>& shownOfClient() const { return shownOfClient_; }

private:
    // The pane a client shows: its first process and its terminal device below "/dev/".
    struct Pane {
        std::int32_t pid = 0;
        std::string tty;
    };
    using Program = ProgramOnPath::Found;

    // The pane that client `pid` on the device `tty` shows, by list-clients' lines.
    static std::optional<Pane> paneOf(std::string_view listing, std::int32_t pid, const std::string& tty);

    // The tmux clients in front of their devices among `processes`, one a device, each that may be
    // followed with its server's index in `servers`, which gains the servers not yet in it.
    std::vector<Client> clientsInFront(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                       const std::optional<Program>& tmux, std::vector<TmuxSocket>& servers);
    // The socket of the client's server and the server's process.
    std::optional<std::pair<TmuxSocket, std::int32_t>> serverOf(std::int32_t client, const Program& tmux);
    std::optional<Pane> shownPane(const Client& client, const std::optional<std::string>& listing);

    std::shared_ptr<ProcessTable> table_;
    ProgramOnPath tmux_;
    TmuxServerQuestions questions_;
    // The server process of each client followed at the last detection.
    std::map<std::int32_t, std::int32_t> serverOfClient_;
    std::map<std::int32_t, std::string> shownOfClient_;
};

} // namespace korvane
