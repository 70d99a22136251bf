#include "providers/tmuxpanefinder.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <unistd.h>

namespace korvane {

namespace {

std::optional<std::int32_t> processID(std::string_view text) {
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1) {
        return std::nullopt;
    }
    return value;
}

} // namespace

TmuxPaneFinder::TmuxPaneFinder(std::shared_ptr<ProcessTable> table, std::shared_ptr<ProcessRunner> runner,
                               WorkerPool& questions, std::string searchPath, const Clock& clock)
    : table_(std::move(table))
    , tmux_("tmux", std::move(searchPath))
    , questions_(std::move(runner), questions, clock) {}

std::vector<ProcessInfo::DescendantInfo>
TmuxPaneFinder::withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes,
                               ServerQuestions::Wait* wait) {
    const auto tmux = tmux_.find();
    std::vector<TmuxSocket> servers;
    const auto clients = tmux ? clientsInFront(processes, *tmux, servers) : std::vector<Client>();
    if (clients.empty()) {
        return processes;
    }
    // One question per server, all asked at once and waited for together.
    const auto listings = questions_.listings(tmux->path, servers, wait);
    std::map<std::string, std::vector<ProcessInfo::DescendantInfo>> panes;
    for (const Client& client : clients) {
        if (auto pane = shownPane(client, listings[client.server])) {
            auto shown = ProcessInfo::processTree(pane->pid, client.pid, *table_);
            // The pane's processes count as the client's terminal's, whose device the user types on.
            for (auto& process : shown) {
                process.tty = client.tty;
            }
            panes.emplace(client.tty, std::move(shown));
        }
    }
    if (panes.empty()) {
        return processes;
    }
    std::vector<ProcessInfo::DescendantInfo> result;
    std::set<std::string> placed;
    for (auto& entry : processes) {
        const auto pane = entry.tty ? panes.find(*entry.tty) : panes.end();
        if (pane == panes.end()) {
            result.push_back(std::move(entry));
        } else if (placed.insert(pane->first).second) {
            result.insert(result.end(), pane->second.begin(), pane->second.end());
        }
    }
    return result;
}

void TmuxPaneFinder::askAhead(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    if (const auto tmux = tmux_.find()) {
        std::vector<TmuxSocket> servers;
        if (!clientsInFront(processes, *tmux, servers).empty()) {
            questions_.askAhead(tmux->path, servers);
        }
    }
}

std::vector<TmuxPaneFinder::Client>
TmuxPaneFinder::clientsInFront(const std::vector<ProcessInfo::DescendantInfo>& processes, const Program& tmux,
                               std::vector<TmuxSocket>& servers) {
    std::vector<Client> clients;
    for (const auto& entry : processes) {
        if (!entry.tty || !entry.foreground || entry.name != clientName ||
            std::any_of(clients.begin(), clients.end(),
                        [&](const Client& client) { return client.tty == *entry.tty; })) {
            continue;
        }
        if (auto server = serverOf(entry.pid, tmux)) {
            const auto known = std::find_if(servers.begin(), servers.end(), [&](const TmuxSocket& other) {
                return other.path == server->path;
            });
            clients.push_back(
                Client{entry.pid, *entry.tty, static_cast<std::size_t>(known - servers.begin())});
            if (known == servers.end()) {
                servers.push_back(std::move(*server));
            }
        }
    }
    return clients;
}

std::optional<TmuxPaneFinder::Pane> TmuxPaneFinder::paneOf(std::string_view listing, std::int32_t pid,
                                                           const std::string& tty) {
    const std::string clientTty = "/dev/" + tty;
    while (!listing.empty()) {
        const std::size_t end = std::min(listing.find('\n'), listing.size());
        std::string_view line = listing.substr(0, end);
        listing.remove_prefix(std::min(end + 1, listing.size()));
        std::vector<std::string_view> fields;
        for (std::size_t space; (space = line.find(' ')) != std::string_view::npos;
             line.remove_prefix(space + 1)) {
            fields.push_back(line.substr(0, space));
        }
        fields.push_back(line);
        if (fields.size() != 4 || processID(fields[0]) != pid || fields[1] != clientTty) {
            continue;
        }
        const auto panePid = processID(fields[2]);
        std::string_view paneTty = fields[3];
        if (!panePid || !paneTty.starts_with("/dev/") || paneTty.size() == 5 ||
            paneTty.find("..") != std::string_view::npos) {
            return std::nullopt;
        }
        paneTty.remove_prefix(5);
        return Pane{*panePid, std::string(paneTty)};
    }
    return std::nullopt;
}

std::optional<TmuxSocket> TmuxPaneFinder::serverOf(std::int32_t client, const Program& tmux) {
    // Any program can take tmux's client's name: the client must be the tmux Korvane runs, reading the
    // files Korvane reads, before anything it sets the length of is read. Only a process of the user's
    // own lets its environment be read.
    if (!ProgramOnPath::runsHere(*table_, client, tmux)) {
        return std::nullopt;
    }
    const auto environment = table_->environment(client);
    const auto arguments = table_->commandLine(client);
    if (!environment || !arguments) {
        return std::nullopt;
    }
    const auto path = TmuxSocket::clientPath(*arguments, *environment,
                                             table_->currentDirectory(client).value_or(""), ::getuid());
    auto socket = path ? TmuxSocket::ownedBy(*path, ::getuid()) : std::nullopt;
    if (!socket) {
        return std::nullopt;
    }
    // tmux's client does what its server tells it, start a program among others: the server asked
    // must be that same tmux, of this user.
    const auto listener = table_->socketListener(socket->path);
    if (!listener || listener->uid != ::getuid() || !ProgramOnPath::runsHere(*table_, listener->pid, tmux)) {
        return std::nullopt;
    }
    return socket;
}

std::optional<TmuxPaneFinder::Pane> TmuxPaneFinder::shownPane(const Client& client,
                                                              const std::optional<std::string>& listing) {
    auto pane = listing ? paneOf(*listing, client.pid, client.tty) : std::nullopt;
    // The answer must name a pane process that sits on the terminal the server named.
    if (!pane) {
        return std::nullopt;
    }
    const auto status = table_->status(pane->pid);
    if (!status || status->tty != pane->tty) {
        return std::nullopt;
    }
    return pane;
}

} // namespace korvane
