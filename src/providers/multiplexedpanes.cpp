#include "providers/multiplexedpanes.h"

#include <set>

namespace korvane {

void MultiplexedPanes::add(std::string clientName, const std::map<std::int32_t, std::int32_t>& serverOfClient) {
    for (const auto& [client, server] : serverOfClient) {
        servers_[client] = {server, clientName};
    }
}

std::vector<ProcessInfo::DescendantInfo> MultiplexedPanes::with(std::vector<ProcessInfo::DescendantInfo> processes,
                                                                ProcessTable& table) const {
    std::vector<ProcessInfo::DescendantInfo> found;
    std::set<std::int32_t> walked;
    for (const auto& entry : processes) {
        const auto server = servers_.find(entry.pid);
        // A process id of a client gone and used again is no client of that server.
        if (!entry.foreground || !entry.tty || server == servers_.end() || entry.name != server->second.second ||
            !walked.insert(server->second.first).second) {
            continue;
        }
        for (auto& process : ProcessInfo::descendants(server->second.first, table)) {
            process.tty = entry.tty;
            found.push_back(std::move(process));
        }
    }
    processes.insert(processes.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return processes;
}

} // namespace korvane
