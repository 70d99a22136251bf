#include "platform/linux/linuxprocessrunner.h"

#include "platform/linux/childreaper.h"
#include "platform/linux/spawnhandles.h"
#include "platform/linux/uniquefd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string_view>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace korvane {
namespace {

using Steady = std::chrono::steady_clock;

// The longest we wait for a killed process to be gone before leaving it to the background reaper.
constexpr auto kReapAfterKill = std::chrono::milliseconds(20);
// Without a pidfd the end of the process is noticed by looking, this often.
constexpr auto kExitCheckInterval = std::chrono::milliseconds(10);
// A cancellation token has no way to wake poll, so a run that has one looks at it this often.
constexpr auto kCancellationCheckInterval = std::chrono::milliseconds(25);
constexpr double kLongestWait = 24.0 * 3600.0;

ProcessLaunchError launchError(int code) {
    return ProcessLaunchError{code, std::strerror(code)};
}

Steady::duration seconds(double value) {
    if (!std::isfinite(value) || value <= 0) {
        return Steady::duration::zero();
    }
    return std::chrono::duration_cast<Steady::duration>(
        std::chrono::duration<double>(std::min(value, kLongestWait)));
}

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

// Both ends close on exec: the child gets its end through dup2, and no other child started at the
// same time from another thread inherits either end (which would keep the pipe open).
std::optional<Pipe> makePipe(int& error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = errno;
        return std::nullopt;
    }
    Pipe pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
    ::fcntl(pipe.read.get(), F_SETFL, ::fcntl(pipe.read.get(), F_GETFL) | O_NONBLOCK);
    return pipe;
}

std::string_view variableName(std::string_view entry) {
    return entry.substr(0, entry.find('='));
}

// The request's environment, marked with the run it belongs to so that whatever the child leaves
// behind can be found and ended afterwards.
std::vector<std::string> childEnvironment(const ProcessRequest& request, std::uint64_t run) {
    const auto replaced = [&request](std::string_view name) {
        return name == ChildReaper::runVariable ||
               std::any_of(request.environment.begin(), request.environment.end(),
                           [name](const auto& variable) { return variable.first == name; }) ||
               std::find(request.removedEnvironment.begin(), request.removedEnvironment.end(), name) !=
                   request.removedEnvironment.end();
    };
    std::vector<std::string> entries;
    for (char** entry = request.inheritEnvironment ? environ : nullptr; entry != nullptr && *entry != nullptr;
         ++entry) {
        if (!replaced(variableName(*entry))) {
            entries.emplace_back(*entry);
        }
    }
    for (const auto& [name, value] : request.environment) {
        entries.push_back(name + "=" + value);
    }
    entries.push_back(std::string(ChildReaper::runVariable) + "=" + std::to_string(run));
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& text : strings) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

void signalGroup(pid_t group, int signal) {
    ::kill(-group, signal);
}

void reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildReaper::shared().unregisterChild(pid);
}

// A child that would not die within the wait is reaped here, so that it never stays a zombie.
void reapInBackground(pid_t pid) {
    std::thread([pid] { reap(pid); }).detach();
}

// Ends a run's leftovers however the run ends.
class RunScope {
public:
    RunScope()
        : run_(ChildReaper::shared().beginRun()) {}
    ~RunScope() { ChildReaper::shared().endRun(run_, child_); }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
    std::uint64_t run() const { return run_; }
    void setChild(pid_t pid) { child_ = pid; }

private:
    std::uint64_t run_;
    pid_t child_ = 0;
};

// Why a read dropped bytes: past the run's own limit, or past what the runs' shared budget had left.
enum class Dropped { none, pastLimit, pastBudget };

// What a run keeps of one of its outputs: the bytes within its limit and budget, or what the request's
// receiver of standard output keeps.
class Capture {
public:
    Capture(std::string& into, std::size_t limit, const ProcessRequest& request, bool standardOutput)
        : into_(into)
        , limit_(limit)
        , budget_(request.outputBudget)
        , receiver_(standardOutput ? &request.onOutput : nullptr) {}

    Dropped add(std::string_view bytes) {
        if (receiver_ != nullptr && *receiver_) {
            return (*receiver_)(bytes, into_) ? Dropped::none : Dropped::pastLimit;
        }
        const std::size_t room = limit_ - std::min(limit_, into_.size());
        const std::string_view kept = bytes.substr(0, room);
        if (budget_ && !budget_->append(into_, kept)) {
            return Dropped::pastBudget;
        }
        if (!budget_) {
            into_.append(kept);
        }
        return bytes.size() > room ? Dropped::pastLimit : Dropped::none;
    }

    // The output has ended.
    Dropped finish() { return receiver_ != nullptr && *receiver_ ? add({}) : Dropped::none; }

private:
    std::string& into_;
    std::size_t limit_;
    const std::optional<OutputBudget>& budget_;
    const std::function<bool(std::string_view, std::string&)>* receiver_;
};

// Reads what is available into `capture`; returns false at end of file or on an error other than "try
// again". Bytes it drops are reported through `dropped`.
bool drain(int fd, Capture& capture, Dropped& dropped) {
    std::array<char, 65536> buffer;
    while (true) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count > 0) {
            dropped = capture.add(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
            if (dropped != Dropped::none) {
                return true;
            }
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count == 0) {
            dropped = capture.finish();
        }
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// One started child: its pid (also its process group), its pipes and how far the run has come.
class RunningChild {
public:
    RunningChild(const ProcessRequest& request, pid_t pid, UniqueFd output, UniqueFd errorOutput)
        : request_(request)
        , pid_(pid)
        , output_(std::move(output))
        , errorOutput_(std::move(errorOutput))
        , pidfd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)))
        , outputCapture_(result_.output, request.outputLimit, request, true)
        , errorCapture_(result_.errorOutput, request.errorOutputLimit, request, false) {}

    ProcessResult wait(Steady::time_point deadline) {
        std::optional<Steady::time_point> killAt;
        while (!exited_ || output_.valid() || errorOutput_.valid()) {
            const auto now = Steady::now();
            if (!intervention_) {
                if (request_.cancellation && request_.cancellation->isCancelled()) {
                    intervene(ProcessResult::Ending::cancelled, SIGTERM);
                    killAt = now + seconds(request_.killGrace);
                } else if (now >= deadline) {
                    intervene(ProcessResult::Ending::timedOut, SIGTERM);
                    killAt = now + seconds(request_.killGrace);
                }
            }
            if (killAt && now >= *killAt) {
                signalGroup(pid_, SIGKILL);
                break;
            }
            if (!pollOnce(nextWake(now, deadline, killAt))) {
                break;
            }
        }
        return finish();
    }

private:
    void intervene(ProcessResult::Ending ending, int signal) {
        intervention_ = ending;
        signalGroup(pid_, signal);
    }

    int nextWake(Steady::time_point now, Steady::time_point deadline,
                 std::optional<Steady::time_point> killAt) const {
        auto until = intervention_ ? killAt.value_or(now) : deadline;
        auto wait = until - now;
        if (!exited_ && !pidfd_.valid()) {
            wait = std::min<Steady::duration>(wait, kExitCheckInterval);
        }
        if (request_.cancellation && !intervention_) {
            wait = std::min<Steady::duration>(wait, kCancellationCheckInterval);
        }
        const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
        return static_cast<int>(std::clamp<long long>(milliseconds, 0, 60'000));
    }

    // Waits for one round of events; false when the output limit ended the run.
    bool pollOnce(int timeoutMs) {
        std::array<pollfd, 3> fds{};
        nfds_t count = 0;
        const auto add = [&](const UniqueFd& fd) {
            if (fd.valid()) {
                fds[count++] = pollfd{fd.get(), POLLIN, 0};
            }
        };
        add(output_);
        add(errorOutput_);
        if (!exited_) {
            add(pidfd_);
        }
        if (::poll(fds.data(), count, timeoutMs) < 0 && errno != EINTR) {
            return true;
        }
        if (output_.valid()) {
            Dropped dropped = Dropped::none;
            if (!drain(output_.get(), outputCapture_, dropped)) {
                output_.reset();
            }
            if (dropped != Dropped::none) {
                // Reading on would let the child fill memory; the run has failed.
                intervene(ProcessResult::Ending::outputLimitExceeded, SIGKILL);
                return false;
            }
        }
        if (errorOutput_.valid()) {
            // Error output past its own limit is dropped; past the shared budget it fails the run.
            Dropped dropped = Dropped::none;
            if (!drain(errorOutput_.get(), errorCapture_, dropped)) {
                errorOutput_.reset();
            }
            if (dropped == Dropped::pastBudget) {
                intervene(ProcessResult::Ending::outputLimitExceeded, SIGKILL);
                return false;
            }
        }
        checkExited();
        return true;
    }

    void checkExited() {
        if (exited_) {
            return;
        }
        // WNOWAIT leaves the process a zombie, so its pid and process group cannot be reused by an
        // unrelated process while we may still signal the group.
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid_) {
            exited_ = true;
            exitInfo_ = info;
        }
    }

    ProcessResult finish() {
        checkExited();
        if (intervention_) {
            // Whatever of the group outlived the terminate request goes now, while the unreaped
            // first member still holds the group's id.
            signalGroup(pid_, SIGKILL);
        }
        if (!exited_ && pidfd_.valid()) {
            pollfd fd{pidfd_.get(), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(kReapAfterKill.count()));
            checkExited();
        }
        if (exited_) {
            reap(pid_);
        } else {
            result_.stillRunning = true;
            reapInBackground(pid_);
        }

        if (intervention_) {
            result_.ending = *intervention_;
            result_.status = *intervention_ == ProcessResult::Ending::outputLimitExceeded ? SIGKILL : SIGTERM;
        } else if (exitInfo_.si_code == CLD_EXITED) {
            result_.ending = ProcessResult::Ending::exited;
            result_.status = exitInfo_.si_status;
        } else {
            result_.ending = ProcessResult::Ending::signaled;
            result_.status = exitInfo_.si_status;
        }
        return std::move(result_);
    }

    const ProcessRequest& request_;
    pid_t pid_;
    UniqueFd output_;
    UniqueFd errorOutput_;
    UniqueFd pidfd_;
    bool exited_ = false;
    siginfo_t exitInfo_{};
    std::optional<ProcessResult::Ending> intervention_;
    ProcessResult result_;
    Capture outputCapture_;
    Capture errorCapture_;
};

} // namespace

Expected<ProcessResult, ProcessLaunchError> LinuxProcessRunner::run(const ProcessRequest& request) {
    if (request.cancellation && request.cancellation->isCancelled()) {
        return ProcessResult{.ending = ProcessResult::Ending::cancelled, .status = SIGTERM};
    }
    int error = 0;
    auto output = makePipe(error);
    if (!output) {
        return makeUnexpected(launchError(error));
    }
    std::optional<Pipe> errorOutput;
    if (request.errorOutput == ProcessRequest::ErrorOutput::capture) {
        errorOutput = makePipe(error);
        if (!errorOutput) {
            return makeUnexpected(launchError(error));
        }
    }

    SpawnFileActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), output->write.get(), STDOUT_FILENO);
    if (errorOutput) {
        posix_spawn_file_actions_adddup2(actions.get(), errorOutput->write.get(), STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (request.workingDirectory) {
        posix_spawn_file_actions_addchdir_np(actions.get(), request.workingDirectory->c_str());
    }
    // Descriptors that some library opened without close-on-exec stay out of the child as well.
    posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);

    SpawnAttributes attributes;
    attributes.startInOwnProcessGroup();

    std::vector<std::string> arguments;
    arguments.reserve(request.arguments.size() + 1);
    arguments.push_back(request.executable);
    arguments.insert(arguments.end(), request.arguments.begin(), request.arguments.end());
    auto argv = pointers(arguments);
    RunScope scope;
    auto environment = childEnvironment(request, scope.run());
    auto envp = pointers(environment);

    const auto deadline = Steady::now() + seconds(request.timeout);
    pid_t pid = 0;
    {
        auto spawning = ChildReaper::shared().lockForSpawn();
        error = ::posix_spawn(&pid, request.executable.c_str(), actions.get(), attributes.get(), argv.data(),
                              envp.data());
        if (error == 0) {
            ChildReaper::shared().registerChild(pid);
        }
    }
    if (error != 0) {
        return makeUnexpected(launchError(error));
    }
    scope.setChild(pid);
    output->write.reset();
    if (errorOutput) {
        errorOutput->write.reset();
    }
    RunningChild child(request, pid, std::move(output->read),
                       errorOutput ? std::move(errorOutput->read) : UniqueFd());
    return child.wait(deadline);
}

} // namespace korvane
