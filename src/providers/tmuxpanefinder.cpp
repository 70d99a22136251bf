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

TmuxPaneFinder::Asked TmuxPaneFinder::ask(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                          ServerQuestions::Wait& wait) {
    Asked asked;
    const bool anyClient = std::any_of(processes.begin(), processes.end(), [](const auto& entry) {
        return entry.foreground && entry.name == clientName;
    });
    if (!anyClient) {
        return asked;
    }
    const auto tmux = tmux_.find();
    std::vector<TmuxSocket> servers;
    asked.clients = clientsInFront(processes, tmux, servers);
    // One question per server, all started before any is waited for.
    if (!servers.empty()) {
        asked.questions = questions_.ask(tmux->path, servers, wait);
    }
    return asked;
}

std::vector<ProcessInfo::DescendantInfo>
TmuxPaneFinder::withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes, const Asked& asked,
                               const ServerQuestions::Wait& wait) {
    if (asked.clients.empty()) {
        return processes;
    }
    const auto listings = questions_.listings(asked.questions, wait);
    // By device: the shown pane's processes, or nothing where the pane cannot be known.
    std::map<std::string, std::optional<std::vector<ProcessInfo::DescendantInfo>>> panes;
    for (const Client& client : asked.clients) {
        const auto pane = client.server ? shownPane(client, listings[*client.server]) : std::nullopt;
        if (!pane) {
            panes.emplace(client.tty, std::nullopt);
            continue;
        }
        shownOfClient_[client.pid] = pane->tty;
        auto shown = ProcessInfo::processTree(pane->pid, client.pid, *table_);
        // The pane's processes count as the client's terminal's, whose device the user types on.
        for (auto& process : shown) {
            process.tty = client.tty;
        }
        panes.emplace(client.tty, std::move(shown));
    }
    std::vector<ProcessInfo::DescendantInfo> result;
    std::set<std::string> placed;
    for (auto& entry : processes) {
        const auto pane = entry.tty ? panes.find(*entry.tty) : panes.end();
        if (pane == panes.end()) {
            result.push_back(std::move(entry));
        } else if (!pane->second) {
            entry.cwd.reset();
            entry.folderHidden = true;
            result.push_back(std::move(entry));
        } else if (placed.insert(pane->first).second) {
            result.insert(result.end(), pane->second->begin(), pane->second->end());
        }
    }
    return result;
}

std::vector<ProcessInfo::DescendantInfo>
TmuxPaneFinder::withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes) {
    ServerQuestions::Wait wait;
    const Asked asked = ask(processes, wait);
    return withPanesShown(std::move(processes), asked, wait);
}

std::vector<TmuxPaneFinder::Client>
TmuxPaneFinder::clientsInFront(const std::vector<ProcessInfo::DescendantInfo>& processes,
                               const std::optional<Program>& tmux, std::vector<TmuxSocket>& servers) {
    std::vector<Client> clients;
    serverOfClient_.clear();
    shownOfClient_.clear();
    for (const auto& entry : processes) {
        if (!entry.tty || !entry.foreground || entry.name != clientName ||
            std::any_of(clients.begin(), clients.end(),
                        [&](const Client& client) { return client.tty == *entry.tty; })) {
            continue;
        }
        Client client{entry.pid, *entry.tty, std::nullopt};
        if (auto server = tmux ? serverOf(entry.pid, *tmux) : std::nullopt) {
            serverOfClient_[entry.pid] = server->second;
            const auto known = std::find_if(servers.begin(), servers.end(), [&](const TmuxSocket& other) {
                return other.path == server->first.path;
            });
            client.server = static_cast<std::size_t>(known - servers.begin());
            if (known == servers.end()) {
                servers.push_back(std::move(server->first));
            }
        }
        clients.push_back(std::move(client));
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

std::optional<std::pair<TmuxSocket, std::int32_t>> TmuxPaneFinder::serverOf(std::int32_t client,
                                                                            const Program& tmux) {
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
    return std::pair(std::move(*socket), listener->pid);
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
