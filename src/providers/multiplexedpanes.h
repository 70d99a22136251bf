#pragma once

#include "platform/processtable.h"
#include "providers/processinfo.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace korvane {

// The multiplexer servers (tmux's, screen's) that a terminal's clients were found to use at the last
// detection, by client process: what the programs in their panes read counts as read on the client's
// tab, since a client reads none of the keys typed on its device. A copy, so that the tabs' baseline
// can read it on a background thread.
class MultiplexedPanes {
public:
    // `clientName` is the name the system keeps for such a client ("tmux: client", "screen").
    void add(std::string clientName, const std::map<std::int32_t, std::int32_t>& serverOfClient);

    // `processes` and, after them, the processes of every pane of the servers its clients in front use,
    // each counted as its client's device's. Reads only through `table`.
    std::vector<ProcessInfo::DescendantInfo> with(std::vector<ProcessInfo::DescendantInfo> processes,
                                                 ProcessTable& table) const;

private:
    // By client process: the server and the name such a client has.
    std::map<std::int32_t, std::pair<std::int32_t, std::string>> servers_;
};

} // namespace korvane
