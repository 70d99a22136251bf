#include "platform/linux/childreaper.h"

#include "platform/linux/uniquefd.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

// Rounds of killing: each lets the children of what was killed be reparented and found.
constexpr int kMaxRounds = 8;
constexpr auto kReapWait = std::chrono::milliseconds(200);
// How often every process is looked at: an orphan that ended without a run to notice it (a browser the
// URL opener started) is reaped then at the latest.
constexpr auto kFullSweepInterval = std::chrono::seconds(30);

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The whole of a small /proc file, or "" when it cannot be read.
std::string readProcFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string contents;
    if (!fd.valid()) {
        return contents;
    }
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(fd.get(), buffer, sizeof buffer)) > 0 && contents.size() < (1u << 20)) {
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    return contents;
}

struct ProcState {
    char state = '?';
    pid_t parent = 0;
};

// The state and parent from /proc/<pid>/stat; the name in parentheses may hold anything.
ProcState procState(pid_t pid) {
    const std::string stat = readProcFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    ProcState result;
    if (close == std::string::npos || close + 4 >= stat.size()) {
        return result;
    }
    result.state = stat[close + 2];
    const std::string_view rest = std::string_view(stat).substr(close + 4);
    std::from_chars(rest.data(), rest.data() + rest.size(), result.parent);
    return result;
}

std::vector<pid_t> processIds() {
    std::vector<pid_t> pids;
    std::unique_ptr<DIR, DirCloser> proc(::opendir("/proc"));
    if (!proc) {
        return pids;
    }
    while (const dirent* entry = ::readdir(proc.get())) {
        pid_t pid = 0;
        const std::string_view name = entry->d_name;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error == std::errc() && end == name.data() + name.size() && pid > 0) {
            pids.push_back(pid);
        }
    }
    return pids;
}

// Waits briefly for a killed child: a child that the kernel keeps (stuck in the storage) is reaped by
// a later sweep.
void reapKilled(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + kReapWait;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

ChildReaper& ChildReaper::shared() {
    static ChildReaper reaper;
    return reaper;
}

bool ChildReaper::becomeSubreaper() {
    return ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0;
}

std::uint64_t ChildReaper::beginRun() {
    std::lock_guard guard(lock_);
    const std::uint64_t run = nextRun_++;
    activeRuns_.insert(run);
    return run;
}

void ChildReaper::registerChild(pid_t pid) {
    known_.insert(pid);
}

void ChildReaper::unregisterChild(pid_t pid) {
    std::lock_guard guard(lock_);
    if (const auto found = known_.find(pid); found != known_.end()) {
        known_.erase(found);
    }
}

void ChildReaper::endRun(std::uint64_t run, pid_t firstChild) {
    pid_t since = firstChild;
    {
        std::lock_guard guard(lock_);
        activeRuns_.erase(run);
        const auto now = std::chrono::steady_clock::now();
        const bool fullDue = now - lastFullSweep_ >= kFullSweepInterval;
        if (firstChild <= 0 && !fullDue) {
            // Nothing was started, so nothing new can have been left.
            return;
        }
        if (firstChild <= 0 || firstChild < lastFirstChild_ || fullDue) {
            since = 0;
            lastFullSweep_ = now;
        }
        if (firstChild > 0) {
            lastFirstChild_ = firstChild;
        }
    }
    for (int round = 0; round < kMaxRounds && sweep(since); ++round) {
    }
}

bool ChildReaper::sweep(pid_t since) {
    // The processes are looked at without the lock, so that runs ending at once do not wait on each
    // other's pass over /proc; what is done to one of our children is decided under it.
    const pid_t self = ::getpid();
    std::multiset<pid_t> known;
    {
        std::lock_guard guard(lock_);
        known = known_;
    }
    std::vector<pid_t> children;
    for (const pid_t pid : processIds()) {
        if (pid >= since && !known.contains(pid) && procState(pid).parent == self) {
            children.push_back(pid);
        }
    }
    std::vector<pid_t> killed;
    {
        std::lock_guard guard(lock_);
        for (const pid_t pid : children) {
            // A spawner registers its child under the lock, so an unknown child here is nobody's.
            if (known_.contains(pid)) {
                continue;
            }
            const ProcState state = procState(pid);
            if (state.parent != self) {
                continue;
            }
            if (state.state == 'Z') {
                // An orphan that already ended: nobody else waits for it.
                ::waitpid(pid, nullptr, WNOHANG);
            } else if (carriesFinishedRun(pid)) {
                // Our child until we reap it, so the pid cannot have passed to another process.
                ::kill(pid, SIGKILL);
                killed.push_back(pid);
            }
        }
    }
    for (const pid_t pid : killed) {
        reapKilled(pid);
    }
    return !killed.empty();
}

bool ChildReaper::carriesFinishedRun(pid_t pid) const {
    const std::string environment = readProcFile("/proc/" + std::to_string(pid) + "/environ");
    const std::string prefix = std::string(runVariable) + "=";
    std::size_t at = 0;
    while (at < environment.size()) {
        std::size_t end = environment.find('\0', at);
        if (end == std::string::npos) {
            end = environment.size();
        }
        const std::string_view entry = std::string_view(environment).substr(at, end - at);
        if (entry.starts_with(prefix)) {
            std::uint64_t run = 0;
            const auto value = entry.substr(prefix.size());
            const auto [last, error] = std::from_chars(value.data(), value.data() + value.size(), run);
            return error == std::errc() && !activeRuns_.contains(run);
        }
        at = end + 1;
    }
    return false;
}

} // namespace korvane
