#include "providers/screenwindowfinder.h"

#include "providers/programonpath.h"

#include <algorithm>
#include <charconv>
#include <dirent.h>
#include <filesystem>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr std::string_view queryAnswerSuffix = "-queryA";

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

std::optional<std::string> variable(const std::vector<std::string>& environment, std::string_view name) {
    for (const std::string& entry : environment) {
        if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
            return entry.substr(name.size() + 1);
        }
    }
    return std::nullopt;
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
                                       std::shared_ptr<ProcessRunner> runner, std::string searchPath,
                                       const Clock& clock, std::string sessionRoot)
    : table_(std::move(table))
    , runner_(std::move(runner))
    , searchPath_(std::move(searchPath))
    , clock_(clock)
    , sessionRoot_(std::move(sessionRoot)) {}

std::vector<ProcessInfo::DescendantInfo>
ScreenWindowFinder::withWindowsShown(std::vector<ProcessInfo::DescendantInfo> processes) {
    // By device: the shown window's processes, or nothing where the window cannot be known.
    std::map<std::string, std::optional<std::vector<ProcessInfo::DescendantInfo>>> windows;
    std::set<std::int32_t> clients;
    for (const auto& entry : processes) {
        if (!entry.tty || !entry.foreground || entry.name != processName || windows.contains(*entry.tty)) {
            continue;
        }
        clients.insert(entry.pid);
        windows.emplace(*entry.tty, windowShownOn(entry.pid, *entry.tty));
    }
    if (windows.empty()) {
        return processes;
    }
    // A session started from this terminal runs below its client, each window on a device of its own:
    // those windows are not what the terminal shows.
    const std::set<std::int32_t> belowClients = below(clients, processes);
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

std::optional<std::vector<ProcessInfo::DescendantInfo>>
ScreenWindowFinder::windowShownOn(std::int32_t client, const std::string& tty) {
    if (!runsScreen(client)) {
        return std::nullopt;
    }
    const auto folder = sessionFolder(client);
    if (!folder) {
        return std::nullopt;
    }
    const auto session = sessionHolding(*folder, tty);
    if (!session || !holdsOnlyDisplay(*session, tty)) {
        return std::nullopt;
    }
    const auto number = askShownWindow(*session);
    const auto window = number ? windowProcess(*session, *number) : std::nullopt;
    if (!window) {
        return std::nullopt;
    }
    auto shown = ProcessInfo::processTree(*window, session->server, *table_);
    for (auto& process : shown) {
        // A screen inside the window would show a window of its own that this one cannot name.
        if (process.foreground && process.name == processName) {
            return std::nullopt;
        }
        // The window's processes count as the terminal's, whose device the user types on.
        process.tty = tty;
    }
    return shown;
}

// The folder the client's screen keeps its sessions in: $SCREENDIR where the client has it, else
// "S-<login name>" in the session root; only a private folder of the user's.
std::optional<std::string> ScreenWindowFinder::sessionFolder(std::int32_t client) {
    const auto environment = table_->environment(client);
    if (!environment) {
        return std::nullopt;
    }
    std::string folder;
    if (auto chosen = variable(*environment, "SCREENDIR"); chosen && !chosen->empty()) {
        folder = *chosen;
    } else if (auto login = loginName()) {
        folder = sessionRoot_ + "/S-" + *login;
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

// The one session in `folder` whose server holds the device `tty`: its socket ("<pid>.<name>", the
// user's own) names the server, which must run the screen Korvane runs.
std::optional<ScreenWindowFinder::Session> ScreenWindowFinder::sessionHolding(const std::string& folder,
                                                                              const std::string& tty) {
    std::unique_ptr<DIR, DirCloser> directory(::opendir(folder.c_str()));
    if (!directory) {
        return std::nullopt;
    }
    std::set<std::string> names;
    while (const dirent* entry = ::readdir(directory.get())) {
        names.insert(entry->d_name);
    }
    const std::string device = "/dev/" + tty;
    std::optional<Session> found;
    for (const std::string& name : names) {
        std::string_view rest;
        const auto server = leadingNumber(name, rest);
        struct stat info {};
        // A question to a session leaves its answer at the session's socket name with this suffix.
        if (!server || *server < 1 || rest.size() < 2 || rest.front() != '.' ||
            (name.ends_with(queryAnswerSuffix) &&
             names.contains(name.substr(0, name.size() - queryAnswerSuffix.size()))) ||
            ::lstat((folder + "/" + name).c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
            info.st_uid != ::getuid() || !runsScreen(*server)) {
            continue;
        }
        auto files = table_->openFiles(*server);
        if (!files || std::find(files->begin(), files->end(), device) == files->end()) {
            continue;
        }
        if (found) {
            return std::nullopt;
        }
        found = Session{*server, folder, name, std::move(*files)};
    }
    return found;
}

// Whether the server's only display is the device `tty`: screen answers for the first display of the
// asking user, which is then the one on that device.
bool ScreenWindowFinder::holdsOnlyDisplay(const Session& session, const std::string& tty) {
    const std::string device = "/dev/" + tty;
    return std::all_of(session.files.begin(), session.files.end(),
                       [&](const std::string& file) { return !isTerminalDevice(file) || file == device; });
}

std::optional<int> ScreenWindowFinder::askShownWindow(const Session& session) {
    const auto program = this->program();
    if (!runner_ || !program) {
        return std::nullopt;
    }
    const auto now = clock_.monotonicNow();
    if (auto silence = silences_.find(session.server);
        silence != silences_.end() && now < silence->second.until) {
        return std::nullopt;
    }
    ProcessRequest request;
    request.executable = *program;
    request.arguments = {"-S", session.name, "-Q", "number"};
    // The session's folder named as the client has it, and nothing else of Korvane's environment.
    request.inheritsEnvironment = false;
    request.environment = {{"SCREENDIR", session.folder}};
    request.workingDirectory = "/";
    request.timeout = answerTimeout;
    request.killGrace = killGrace;
    request.outputLimit = 4096;
    auto result = runner_->run(request);
    if (result && result->ending == ProcessResult::Ending::timedOut) {
        Silence& silence = silences_[session.server];
        if (++silence.unanswered >= 2) {
            silence.until = now + std::chrono::duration_cast<Clock::MonotonicTime::duration>(
                                      std::chrono::duration<double>(silenceMemory));
        }
    } else {
        silences_.erase(session.server);
    }
    if (!result || !result->succeeded()) {
        return std::nullopt;
    }
    return windowNumber(result->output);
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

bool ScreenWindowFinder::runsScreen(std::int32_t pid) {
    const auto status = table_->status(pid);
    const auto executable = table_->executable(pid);
    const auto program = this->program();
    return status && status->name == processName && executable && program && *executable == *program;
}

std::optional<std::string> ScreenWindowFinder::program() {
    if (!program_) {
        if (auto found = programOnPath(processName, searchPath_)) {
            std::error_code error;
            auto resolved = std::filesystem::canonical(*found, error);
            program_ = error ? *found : resolved.string();
        }
    }
    return program_;
}

} // namespace korvane
