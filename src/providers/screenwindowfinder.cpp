#include "providers/screenwindowfinder.h"

#include "providers/tmuxpanefinder.h"

#include <algorithm>
#include <charconv>
#include <dirent.h>
#include <filesystem>
#include <map>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::optional<std::int32_t> leadingNumber(std::string_view text, std::string_view& rest) {
    std::int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || value < 0) {
        return std::nullopt;
    }
    rest = text.substr(static_cast<std::size_t>(end - text.data()));
    return value;
}

// A terminal device as a process's open files name it: a pseudo-terminal or a console line.
bool isTerminalDevice(std::string_view file) {
    if (file.starts_with("/dev/pts/")) {
        file.remove_prefix(9);
        return !file.empty() &&
               std::all_of(file.begin(), file.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    return file.starts_with("/dev/tty") && file.size() > 8;
}

std::optional<std::string> loginName() {
    std::vector<char> buffer(16 * 1024);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_name == nullptr || *found->pw_name == '\0') {
        return std::nullopt;
    }
    return std::string(found->pw_name);
}

// Whether `folder` is a folder (not a link) of the user's that no one else may enter, as screen
// itself demands of its session folder.
bool isPrivateFolder(const std::string& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 0777) == 0700;
}

// Whether `path` is a socket of the user's, not a link to one.
bool isOwnSocket(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::getuid();
}

// The processes of `processes` that descend from one of `ancestors`.
std::set<std::int32_t> below(const std::set<std::int32_t>& ancestors,
                             const std::vector<ProcessInfo::DescendantInfo>& processes) {
    std::map<std::int32_t, std::int32_t> parentOf;
    for (const auto& entry : processes) {
        parentOf.emplace(entry.pid, entry.parentPid);
    }
    std::set<std::int32_t> found;
    for (const auto& entry : processes) {
        auto parent = parentOf.find(entry.pid);
        for (std::size_t steps = 0; parent != parentOf.end() && steps < parentOf.size(); ++steps) {
            if (ancestors.contains(parent->second)) {
                found.insert(entry.pid);
                break;
            }
            parent = parentOf.find(parent->second);
        }
    }
    return found;
}

} // namespace

ScreenWindowFinder::ScreenWindowFinder(std::shared_ptr<ProcessTable> table,
                                       std::shared_ptr<ProcessRunner> runner, WorkerPool& questions,
                                       std::string searchPath, const Clock& clock, std::string sessionRoot)
    : table_(std::move(table))
    , screen_(std::string(processName), std::move(searchPath))
    , sessionRoot_(std::move(sessionRoot))
    , login_(loginName())
    , questions_(std::move(runner), questions, clock) {}

std::vector<ScreenWindowFinder::Client>
ScreenWindowFinder::clientsInFront(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    std::vector<Client> clients;
    for (const auto& entry : processes) {
        if (entry.tty && entry.foreground && entry.name == processName &&
            std::none_of(clients.begin(), clients.end(),
                         [&](const Client& client) { return client.tty == *entry.tty; })) {
            clients.push_back(Client{entry.pid, *entry.tty, std::nullopt});
        }
    }
    return clients;
}

ScreenWindowFinder::Asked ScreenWindowFinder::ask(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                                  ServerQuestions::Wait& wait) {
    Asked asked{clientsInFront(processes), {}};
    serverOfClient_.clear();
    shownOfClient_.clear();
    const auto screen = asked.clients.empty() ? std::nullopt : screen_.find();
    // One question per session, all started before any is waited for.
    std::vector<ServerQuestions::Question> questions;
    for (Client& client : asked.clients) {
        client.session = screen ? sessionOn(client.pid, client.tty, *screen) : std::nullopt;
        if (client.session) {
            const Session& session = *client.session;
            serverOfClient_[client.pid] = session.server;
            client.question = questions.size();
            questions.push_back({session.folder + "/" + session.name + "\n" + std::to_string(session.server),
                                 request(screen->path, session.folder, session.name)});
        }
    }
    if (!questions.empty()) {
        asked.questions = questions_.ask(questions, wait);
    }
    return asked;
}

std::vector<ProcessInfo::DescendantInfo>
ScreenWindowFinder::withWindowsShown(std::vector<ProcessInfo::DescendantInfo> processes) {
    ServerQuestions::Wait wait;
    const Asked asked = ask(processes, wait);
    return withWindowsShown(std::move(processes), asked, wait);
}

std::vector<ProcessInfo::DescendantInfo>
ScreenWindowFinder::withWindowsShown(std::vector<ProcessInfo::DescendantInfo> processes, const Asked& asked,
                                     const ServerQuestions::Wait& wait) {
    // The clients in front now: a screen inside a tmux pane just put in place of its client was not asked.
    const std::vector<Client> clients = clientsInFront(processes);
    if (clients.empty()) {
        return processes;
    }
    const auto answers = questions_.answers(asked.questions, wait);
    // By device: the shown window's processes, or nothing where the window cannot be known.
    std::map<std::string, std::optional<std::vector<ProcessInfo::DescendantInfo>>> windows;
    std::set<std::int32_t> clientPids;
    for (const Client& client : clients) {
        clientPids.insert(client.pid);
        const auto was = std::find_if(asked.clients.begin(), asked.clients.end(), [&](const Client& other) {
            return other.pid == client.pid && other.tty == client.tty && other.session;
        });
        windows.emplace(client.tty, was != asked.clients.end()
                                        ? windowShown(*was->session, answers[was->question], client)
                                        : std::nullopt);
    }

    // A session started from this terminal runs below its client, each window on a device of its own:
    // those windows are not what the terminal shows.
    const std::set<std::int32_t> belowClients = below(clientPids, processes);
    std::vector<ProcessInfo::DescendantInfo> result;
    std::set<std::string> placed;
    for (auto& entry : processes) {
        const auto window = entry.tty ? windows.find(*entry.tty) : windows.end();
        if (belowClients.contains(entry.pid)) {
            continue;
        }
        if (window == windows.end()) {
            result.push_back(std::move(entry));
        } else if (!window->second) {
            entry.cwd.reset();
            entry.folderHidden = true;
            result.push_back(std::move(entry));
        } else if (placed.insert(window->first).second) {
            result.insert(result.end(), window->second->begin(), window->second->end());
        }
    }
    return result;
}

std::optional<int> ScreenWindowFinder::windowNumber(std::string_view answer) {
    // screen may say something of other sessions in its folder first; the answer is the last line.
    while (answer.ends_with('\n')) {
        answer.remove_suffix(1);
    }
    if (const std::size_t lineBreak = answer.rfind('\n'); lineBreak != std::string_view::npos) {
        answer.remove_prefix(lineBreak + 1);
    }
    std::string_view rest;
    const auto number = leadingNumber(answer, rest);
    if (!number || !(rest.empty() || rest.starts_with(" ("))) {
        return std::nullopt;
    }
    return *number;
}

ProcessRequest ScreenWindowFinder::request(const std::string& screen, const std::string& folder,
                                           const std::string& name) {
    ProcessRequest request;
    request.executable = screen;
    request.arguments = {"-S", name, "-Q", "number"};
    request.inheritEnvironment = false;
    request.environment = {{"SCREENDIR", folder}};
    request.workingDirectory = "/";
    request.timeout = questionTimeout;
    request.killGrace = 0.05;
    request.outputLimit = 4096;
    return request;
}

// The session the screen client `client` shows on the device `tty`, where it can be asked for certain.
std::optional<ScreenWindowFinder::Session> ScreenWindowFinder::sessionOn(std::int32_t client,
                                                                         const std::string& tty,
                                                                         const ProgramOnPath::Found& screen) {
    if (!runsScreen(client, screen)) {
        return std::nullopt;
    }
    const auto folder = sessionFolder(client);
    return folder ? sessionHolding(*folder, tty, screen) : std::nullopt;
}

// The folder the client's screen keeps its sessions in: $SCREENDIR where the client has it, else
// "S-<login name>" in the session root; only a private folder of the user's.
std::optional<std::string> ScreenWindowFinder::sessionFolder(std::int32_t client) {
    const auto environment = table_->environment(client);
    if (!environment) {
        return std::nullopt;
    }
    std::string folder;
    if (auto chosen = ProcessTable::variable(*environment, "SCREENDIR"); chosen && !chosen->empty()) {
        folder = *chosen;
    } else if (login_) {
        folder = sessionRoot_ + "/S-" + *login_;
    }
    folder = std::filesystem::path(folder).lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    if (!folder.starts_with('/') || !isPrivateFolder(folder)) {
        return std::nullopt;
    }
    return folder;
}

// The one session in `folder` whose server holds the device `tty` as its only display: its socket
// ("<pid>.<name>", the user's own) is listened on by that server, which runs the screen Korvane runs.
// screen answers a question for the asking user's first display, which is then the one on `tty`.
std::optional<ScreenWindowFinder::Session>
ScreenWindowFinder::sessionHolding(const std::string& folder, const std::string& tty,
                                   const ProgramOnPath::Found& screen) {
    std::unique_ptr<DIR, DirCloser> directory(::opendir(folder.c_str()));
    if (!directory) {
        return std::nullopt;
    }
    const std::string device = "/dev/" + tty;
    std::optional<Session> found;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string name = entry->d_name;
        const std::string path = folder + "/" + name;
        std::string_view rest;
        const auto server = leadingNumber(name, rest);
        if (!server || *server < 1 || rest.size() < 2 || rest.front() != '.' || !isOwnSocket(path)) {
            continue;
        }
        const auto listener = table_->socketListener(path);
        if (!listener || listener->pid != *server || listener->uid != ::getuid() ||
            !runsScreen(*server, screen)) {
            continue;
        }
        const auto files = table_->openFiles(*server);
        if (!files || std::find(files->begin(), files->end(), device) == files->end()) {
            continue;
        }
        const bool onlyDisplay = std::all_of(files->begin(), files->end(), [&](const std::string& file) {
            return !isTerminalDevice(file) || file == device;
        });
        if (found || !onlyDisplay) {
            return std::nullopt;
        }
        found = Session{*server, folder, name};
    }
    return found;
}

// The processes of the window `answer` names for `session`, counted as the terminal's.
std::optional<std::vector<ProcessInfo::DescendantInfo>>
ScreenWindowFinder::windowShown(const Session& session, const std::optional<std::string>& answer,
                                const Client& client) {
    const auto number = answer ? windowNumber(*answer) : std::nullopt;
    const auto window = number ? windowProcess(session, *number) : std::nullopt;
    if (!window) {
        return std::nullopt;
    }
    auto shown = ProcessInfo::processTree(*window, session.server, *table_);
    std::optional<std::string> device;
    for (auto& process : shown) {
        if (process.pid == *window) {
            device = process.tty;
        }
        // A screen or tmux inside the window would show a window or pane of its own that this one
        // cannot name (tmux's panes are put in place before screen's windows).
        if (process.foreground &&
            (process.name == processName || process.name == TmuxPaneFinder::clientName)) {
            return std::nullopt;
        }
        // The window's processes count as the terminal's, whose device the user types on.
        process.tty = client.tty;
    }
    if (device) {
        shownOfClient_[client.pid] = *device;
    }
    return shown;
}

// The process screen started for window `number` of the session: a child of its server, started with
// the session's name and the window's number in its environment.
std::optional<std::int32_t> ScreenWindowFinder::windowProcess(const Session& session, int number) {
    auto children = table_->childProcesses(session.server);
    if (!children) {
        children = table_->allProcessParents()[session.server];
    }
    const std::string sessionEntry = "STY=" + session.name;
    const std::string windowEntry = "WINDOW=" + std::to_string(number);
    std::optional<std::int32_t> found;
    for (std::int32_t child : *children) {
        const auto environment = table_->environment(child);
        if (!environment ||
            std::find(environment->begin(), environment->end(), sessionEntry) == environment->end() ||
            std::find(environment->begin(), environment->end(), windowEntry) == environment->end()) {
            continue;
        }
        if (found) {
            return std::nullopt;
        }
        found = child;
    }
    return found;
}

bool ScreenWindowFinder::runsScreen(std::int32_t pid, const ProgramOnPath::Found& screen) {
    const auto status = table_->status(pid);
    return status && status->name == processName && ProgramOnPath::runsHere(*table_, pid, screen);
}

} // namespace korvane
