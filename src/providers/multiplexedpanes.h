#pragma once

#include "platform/processtable.h"
#include "providers/processinfo.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

// The multiplexer servers (tmux's, screen's) that a terminal's clients were found to use at the last
// detection, by client process, and the device of the pane or window each client showed then: a client
// reads none of the keys typed on its device, the program of the pane it shows does. A copy, so that
// the tabs' baseline can read it on a background thread.
class MultiplexedPanes {
public:
    // `clientName` is the name the system keeps for such a client ("tmux: client", "screen");
    // `shownOfClient` the device of the pane each client showed, where the server told it.
    void add(std::string clientName, const std::map<std::int32_t, std::int32_t>& serverOfClient,
             const std::map<std::int32_t, std::string>& shownOfClient = {});

    // A terminal's processes with those of every pane of the servers its clients in front use, each
    // pane on its own device, so that each counts as a pane of its own.
    struct Spread {
        std::vector<ProcessInfo::DescendantInfo> processes;
        // The devices of the servers' panes, and among them those a client in front showed.
        std::set<std::string> paneDevices;
        std::set<std::string> shownDevices;
    };
    // `processes` (a terminal's, as ProcessInfo::descendants lists them) spread so, each server's
    // processes down to `depth` levels below it. Reads only through `table`.
    Spread spread(std::vector<ProcessInfo::DescendantInfo> processes, ProcessTable& table,
                  std::int64_t depth = ProcessInfo::maxDepth) const;
    std::vector<ProcessInfo::DescendantInfo> with(std::vector<ProcessInfo::DescendantInfo> processes,
                                                 ProcessTable& table,
                                                 std::int64_t depth = ProcessInfo::maxDepth) const {
        return spread(std::move(processes), table, depth).processes;
    }

    // Whether a pane on `devices` may be taken as the one typed in without asking its server: a tab of
    // the terminal's own, or the pane a client in front showed at the last question (another pane
    // reading may be one the user switched to since, which only the server can tell).
    static bool speaksFor(const Spread& spread, const std::vector<std::string>& devices);

private:
    struct Server {
        std::int32_t pid = 0;
        std::string clientName;
        std::optional<std::string> shown;
    };
    // By client process.
    std::map<std::int32_t, Server> servers_;
};

} // namespace korvane
