#pragma once

#include "platform/processrunner.h"
#include "platform/processtable.h"
#include "providers/processinfo.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Reads a terminal that runs tmux through the pane the user sees there: the server a tmux client
// connects to (by the client's own arguments and environment) is asked which pane that client
// shows, and the pane's processes stand for the client's terminal. Main thread.
class TmuxPaneFinder {
public:
    // The name tmux gives its client process.
    static constexpr std::string_view clientName = "tmux: client";
    // Seconds a server has to answer; a server that does not leaves the terminal read without it.
    static constexpr double answerTimeout = 0.25;
    // What list-clients prints of each client: the client and the pane it shows. Spaces part the
    // fields, since a client without a UTF-8 locale prints a tab as "_".
    static constexpr std::string_view listFormat = "#{client_pid} #{client_tty} #{pane_pid} #{pane_tty}";

    // tmux is looked for in the absolute entries of `searchPath` (a PATH value).
    TmuxPaneFinder(std::shared_ptr<ProcessTable> table, std::shared_ptr<ProcessRunner> runner,
                   std::string searchPath);

    // `processes`, a terminal's as ProcessInfo::descendants lists them, where each device whose
    // foreground job is a tmux client holds, in place of its own processes, those of the pane the
    // client shows. A device whose pane cannot be found stays as it was.
    std::vector<ProcessInfo::DescendantInfo>
    withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes);

    // The socket a client started with `arguments` and `environment` in `directory` by user `uid`
    // connects to, as tmux picks it: -S's path; else -L's name, or "default" where $TMUX names no
    // socket, in "tmux-<uid>" below $TMUX_TMPDIR or /tmp. Absent when the arguments cannot be read.
    static std::optional<std::string> socketPath(const std::vector<std::string>& arguments,
                                                 const std::vector<std::string>& environment,
                                                 const std::string& directory, std::uint32_t uid);

private:
    // The pane a client shows: its first process and its terminal device below "/dev/".
    struct Pane {
        std::int32_t pid = 0;
        std::string tty;
    };

    // The pane that client `pid` on the device `tty` shows, by list-clients' lines in `listFormat`.
    static std::optional<Pane> paneOf(std::string_view listing, std::int32_t pid, const std::string& tty);

    std::optional<Pane> paneShownBy(std::int32_t client, const std::string& tty);
    std::optional<std::string> listClients(const std::string& socket);
    std::optional<std::string> program();

    std::shared_ptr<ProcessTable> table_;
    std::shared_ptr<ProcessRunner> runner_;
    std::string searchPath_;
    std::optional<std::string> program_;
    // The answers of one call of withPanesShown, by socket: one question per server.
    std::vector<std::pair<std::string, std::optional<std::string>>> listings_;
};

} // namespace korvane
