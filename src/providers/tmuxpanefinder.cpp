#include "providers/tmuxpanefinder.h"

#include "gitguard/perprocesspath.h"
#include "providers/programonpath.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <unistd.h>

namespace korvane {

namespace {

// tmux's options that take a value, as its own option parsing reads them.
constexpr std::string_view kOptionsWithValue = "cfLST";

std::optional<std::string> variable(const std::vector<std::string>& environment, std::string_view name) {
    for (const std::string& entry : environment) {
        if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
            return entry.substr(name.size() + 1);
        }
    }
    return std::nullopt;
}

// `path` taken from the absolute folder `directory`; absent when neither is absolute.
std::optional<std::string> absolute(const std::string& path, const std::string& directory) {
    if (path.starts_with('/')) {
        return path;
    }
    if (!directory.starts_with('/')) {
        return std::nullopt;
    }
    return (directory == "/" ? "" : directory) + "/" + path;
}

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
                               std::string searchPath)
    : table_(std::move(table))
    , runner_(std::move(runner))
    , searchPath_(std::move(searchPath)) {}

std::vector<ProcessInfo::DescendantInfo>
TmuxPaneFinder::withPanesShown(std::vector<ProcessInfo::DescendantInfo> processes) {
    std::map<std::string, std::vector<ProcessInfo::DescendantInfo>> panes;
    for (const auto& entry : processes) {
        if (!entry.tty || !entry.foreground || entry.name != clientName || panes.contains(*entry.tty)) {
            continue;
        }
        if (auto pane = paneShownBy(entry.pid, *entry.tty)) {
            auto shown = ProcessInfo::processTree(pane->pid, entry.pid, *table_);
            // The pane's processes count as the client's terminal's, whose device the user types on.
            for (auto& process : shown) {
                process.tty = entry.tty;
            }
            panes.emplace(*entry.tty, std::move(shown));
        }
    }
    listings_.clear();
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

std::optional<std::string> TmuxPaneFinder::socketPath(const std::vector<std::string>& arguments,
                                                      const std::vector<std::string>& environment,
                                                      const std::string& directory, std::uint32_t uid) {
    if (arguments.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> path;
    std::optional<std::string> name;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--" || argument.size() < 2 || argument.front() != '-') {
            break;
        }
        for (std::size_t letter = 1; letter < argument.size(); ++letter) {
            if (kOptionsWithValue.find(argument[letter]) == std::string_view::npos) {
                continue;
            }
            std::string value;
            if (letter + 1 < argument.size()) {
                value = argument.substr(letter + 1);
            } else if (index + 1 < arguments.size()) {
                value = arguments[++index];
            } else {
                return std::nullopt;
            }
            if (argument[letter] == 'S') {
                path = std::move(value);
            } else if (argument[letter] == 'L') {
                name = std::move(value);
            }
            break;
        }
    }
    if (path) {
        return absolute(*path, directory);
    }
    if (!name) {
        // A client started inside tmux without naming a socket uses the one it was started in.
        if (auto inside = variable(environment, "TMUX");
            inside && !inside->empty() && inside->front() != ',') {
            return absolute(inside->substr(0, inside->find(',')), "");
        }
        name = "default";
    }
    std::string folder = "/tmp";
    if (auto chosen = variable(environment, "TMUX_TMPDIR"); chosen && !chosen->empty()) {
        auto resolved = absolute(*chosen, directory);
        if (!resolved) {
            return std::nullopt;
        }
        folder = std::move(*resolved);
    }
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return (folder == "/" ? "" : folder) + "/tmux-" + std::to_string(uid) + "/" + *name;
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

std::optional<TmuxPaneFinder::Pane> TmuxPaneFinder::paneShownBy(std::int32_t client, const std::string& tty) {
    // Only a process of the user's own lets its environment be read: its socket is the user's.
    const auto environment = table_->environment(client);
    const auto arguments = table_->commandLine(client);
    if (!environment || !arguments) {
        return std::nullopt;
    }
    const auto socket =
        socketPath(*arguments, *environment, table_->currentDirectory(client).value_or(""), ::getuid());
    // Through /proc or /dev/fd the path names the client's own folders for the client, Korvane's for
    // the tmux started here.
    if (!socket || PerProcessPath().whyNotOnePlace(*socket, "/")) {
        return std::nullopt;
    }
    auto listing = std::find_if(listings_.begin(), listings_.end(),
                                [&](const auto& known) { return known.first == *socket; });
    if (listing == listings_.end()) {
        listing = listings_.emplace(listings_.end(), *socket, listClients(*socket));
    }
    if (!listing->second) {
        return std::nullopt;
    }
    auto pane = paneOf(*listing->second, client, tty);
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

std::optional<std::string> TmuxPaneFinder::listClients(const std::string& socket) {
    const auto tmux = program();
    if (!tmux) {
        return std::nullopt;
    }
    ProcessRequest request;
    request.executable = *tmux;
    request.arguments = {"-S", socket, "list-clients", "-F"};
    request.arguments.emplace_back(listFormat);
    // The server asked is the one named here, whatever tmux would take from Korvane's environment.
    request.removedEnvironment = {"TMUX", "TMUX_PANE", "TMUX_TMPDIR"};
    request.timeout = answerTimeout;
    request.killGrace = 0.05;
    request.outputLimit = 64 * 1024;
    auto result = runner_->run(request);
    if (!result || !result->succeeded()) {
        return std::nullopt;
    }
    return std::move(result->output);
}

std::optional<std::string> TmuxPaneFinder::program() {
    if (!program_) {
        program_ = programOnPath("tmux", searchPath_);
    }
    return program_;
}

} // namespace korvane
