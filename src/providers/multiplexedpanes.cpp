#include "providers/multiplexedpanes.h"

#include <algorithm>

namespace korvane {

void MultiplexedPanes::add(std::string clientName, const std::map<std::int32_t, std::int32_t>& serverOfClient,
                           const std::map<std::int32_t, std::string>& shownOfClient) {
    for (const auto& [client, server] : serverOfClient) {
        const auto shown = shownOfClient.find(client);
        servers_[client] = {server, clientName,
                            shown == shownOfClient.end() ? std::nullopt : std::optional(shown->second)};
    }
}

MultiplexedPanes::Spread MultiplexedPanes::spread(std::vector<ProcessInfo::DescendantInfo> processes,
                                                  ProcessTable& table, std::int64_t depth) const {
    Spread spread;
    std::vector<ProcessInfo::DescendantInfo> found;
    std::set<std::int32_t> walked;
    // Filled at the first server: a busy terminal's thousands of processes are listed only where one is.
    std::set<std::int32_t> listed;
    for (const auto& entry : processes) {
        const auto server = servers_.find(entry.pid);
        // A process id of a client gone and used again is no client of that server.
        if (!entry.foreground || !entry.tty || server == servers_.end() ||
            entry.name != server->second.clientName) {
            continue;
        }
        if (server->second.shown) {
            spread.shownDevices.insert(*server->second.shown);
        }
        if (!walked.insert(server->second.pid).second) {
            continue;
        }
        if (listed.empty()) {
            for (const auto& other : processes) {
                listed.insert(other.pid);
            }
        }
        for (auto& process : ProcessInfo::processTree(server->second.pid, 0, table, depth)) {
            if (process.pid == server->second.pid) {
                continue;
            }
            if (process.tty) {
                spread.paneDevices.insert(*process.tty);
            }
            // A server started below the terminal (screen's, by its first client) has its panes among
            // the terminal's processes already.
            if (listed.insert(process.pid).second) {
                found.push_back(std::move(process));
            }
        }
    }
    std::erase_if(spread.shownDevices,
                  [&](const std::string& device) { return !spread.paneDevices.contains(device); });
    processes.insert(processes.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    spread.processes = std::move(processes);
    return spread;
}

bool MultiplexedPanes::speaksFor(const Spread& spread, const std::vector<std::string>& devices) {
    return std::any_of(devices.begin(), devices.end(),
                       [&](const std::string& device) { return spread.shownDevices.contains(device); }) ||
           std::none_of(devices.begin(), devices.end(),
                        [&](const std::string& device) { return spread.paneDevices.contains(device); });
}

} // namespace korvane
