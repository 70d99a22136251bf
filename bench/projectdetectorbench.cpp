// Project detection as the shell runs it: a terminal whose three panes sit in three repositories
// (real pseudo-terminals and processes read from /proc), an editor's window title resolved against
// the search roots of a home folder with a few dozen projects, and the detection at the trigger on a
// crowded machine: 2,000 processes, a terminal of 20 panes, in a table filled by hand and in /proc,
// where the tab typed in is told by its reads and what telling it costs each key (also in a terminal of
// 40 tabs with 2,000 processes below it), and a terminal running
// a tmux client whose server shows 20 panes, with the server's answer alone and with the server stopped.
#include "benchtiming.h"
#include "detectiontiming.h"
#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakeprocesstable.h"
#include "platform/linux/linuxprocessrunner.h"
#include "platform/linux/localfileprobe.h"
#include "platform/linux/procprocesstable.h"
#include "platform/linux/threadworkerpool.h"
#include "providers/projectdetector.h"
#include "ptyterminal.h"
#include "scratchdirectory.h"

#include <benchmark/benchmark.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvane {
namespace {

// A home folder with ~/code and ~/projects, and three shells (sleeping children of this process)
// each on its own pseudo-terminal in one of three repositories. Removed at exit.
class Fixture {
public:
    Fixture() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        home_ = root_ + "/home";
        setenv("HOME", home_.c_str(), 1);
        for (int i = 0; i < 30; ++i) {
            std::filesystem::create_directories(home_ + "/code/repo" + std::to_string(i) + "/.git");
            std::filesystem::create_directories(home_ + "/code/repo" + std::to_string(i) + "/src/module");
        }
        for (int i = 0; i < 10; ++i) {
            std::filesystem::create_directories(home_ + "/projects/group" + std::to_string(i) + "/x");
        }
        for (int i = 0; i < 3; ++i) {
            spawnPane(home_ + "/code/repo" + std::to_string(i) + "/src/module");
        }
    }
    ~Fixture() {
        for (pid_t pid : children_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        for (int fd : masters_) {
            ::close(fd);
        }
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }

private:
    void spawnPane(const std::string& directory) {
        int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ::grantpt(master);
        ::unlockpt(master);
        std::string terminal = ::ptsname(master);
        masters_.push_back(master);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::setsid();
            if (::open(terminal.c_str(), O_RDWR) < 0 || ::chdir(directory.c_str()) != 0) {
                ::_exit(1);
            }
            ::execl("/bin/sleep", "sleep", "600", static_cast<char*>(nullptr));
            ::_exit(1);
        }
        children_.push_back(pid);
    }

    std::string root_;
    std::string home_;
    std::vector<pid_t> children_;
    std::vector<int> masters_;
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

std::shared_ptr<FakeActiveAppProvider> terminalProvider() {
    auto apps = std::make_shared<FakeActiveAppProvider>();
    apps->setFrontmost(FrontmostApplication{"xterm", static_cast<std::int32_t>(::getpid())});
    return apps;
}

std::shared_ptr<FakeActiveAppProvider> editorProvider() {
    auto apps = std::make_shared<FakeActiveAppProvider>();
    apps->setFrontmost(FrontmostApplication{"code", 4242});
    apps->setTitle(4242, "main.c \u2014 repo17 \u2014 Editor");
    return apps;
}

// Every detection after the first finds the panes' directories in the detector's cache.
void BM_TerminalThreePanes(benchmark::State& state) {
    fixture();
    ProjectDetector detector(terminalProvider(), std::make_shared<ProcProcessTable>(),
                             std::make_shared<LocalFileProbe>());
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.detectProjectRoot());
    }
}
BENCHMARK(BM_TerminalThreePanes)->Unit(benchmark::kMicrosecond);

void BM_TerminalThreePanesCold(benchmark::State& state) {
    fixture();
    auto apps = terminalProvider();
    auto table = std::make_shared<ProcProcessTable>();
    auto files = std::make_shared<LocalFileProbe>();
    for (auto _ : state) {
        ProjectDetector detector(apps, table, files);
        benchmark::DoNotOptimize(detector.detectProjectRoot());
    }
}
BENCHMARK(BM_TerminalThreePanesCold)->Unit(benchmark::kMicrosecond);

// A title seen for the first time: every candidate is looked up.
void BM_EditorTitleCold(benchmark::State& state) {
    fixture();
    auto apps = editorProvider();
    auto files = std::make_shared<LocalFileProbe>();
    auto table = std::make_shared<ProcProcessTable>();
    for (auto _ : state) {
        ProjectDetector detector(apps, table, files);
        benchmark::DoNotOptimize(detector.detectProjectRoot());
    }
}
BENCHMARK(BM_EditorTitleCold)->Unit(benchmark::kMicrosecond);

// The same window again, answered from the last detection.
void BM_EditorTitleRepeated(benchmark::State& state) {
    fixture();
    ProjectDetector detector(editorProvider(), std::make_shared<ProcProcessTable>(),
                             std::make_shared<LocalFileProbe>());
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.detectProjectRoot());
    }
}
BENCHMARK(BM_EditorTitleRepeated)->Unit(benchmark::kMicrosecond);

constexpr int kCrowd = 2000;
constexpr int kPanes = 20;

// The machine's processes, counted in /proc.
int processCount() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc")) {
        while (const dirent* entry = ::readdir(dir)) {
            count += entry->d_name[0] >= '1' && entry->d_name[0] <= '9';
        }
        ::closedir(dir);
    }
    return count;
}

// Run by a terminal's process: a pane on a new pseudo-terminal, a session in `repository` sleeping
// with `jobs` more processes of its own, its device last used `index` steps of the devices' times after
// the first pane's (the last pane is the user's). Returns the pane's id.
pid_t startPane(const std::string& repository, std::size_t index, int jobs) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(master);
    ::unlockpt(master);
    const std::string device = ::ptsname(master);
    const pid_t pane = ::fork();
    if (pane == 0) {
        ::setsid();
        if (::open(device.c_str(), O_RDWR) < 0 || ::chdir(repository.c_str()) != 0) {
            ::_exit(1);
        }
        for (int job = 0; job < jobs; ++job) {
            if (::fork() == 0) {
                ::execl("/bin/sleep", "sleep", "600", static_cast<char*>(nullptr));
                ::_exit(1);
            }
        }
        ::execl("/bin/sleep", "sleep", "600", static_cast<char*>(nullptr));
        ::_exit(1);
    }
    const timespec times[2] = {{::time(nullptr) + static_cast<time_t>(8 * index), 0}, {0, UTIME_OMIT}};
    ::utimensat(AT_FDCWD, device.c_str(), times, 0);
    return pane;
}

// A terminal of 20 panes, each a session on its own pseudo-terminal in its own repository, the last
// one used last; beside it (not below it) idle processes until the machine runs 2,000. Every process
// started here is stopped at exit.
class CrowdedMachine {
public:
    CrowdedMachine() {
        for (int i = 0; i < kPanes; ++i) {
            repositories_.push_back(scratch_.path().string() + "/repo" + std::to_string(i));
            std::filesystem::create_directories(repositories_.back() + "/.git");
        }
        startTerminal();
        // Idle processes keep nothing of the benchmark's open, least of all its output.
        posix_spawn_file_actions_t quiet;
        ::posix_spawn_file_actions_init(&quiet);
        ::posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        for (int missing = kCrowd - processCount(); missing > 0; --missing) {
            pid_t pid = 0;
            const char* argv[] = {"/bin/sleep", "600", nullptr};
            if (::posix_spawn(&pid, argv[0], &quiet, nullptr, const_cast<char**>(argv), environ) != 0) {
                break;
            }
            idle_.push_back(pid);
        }
        ::posix_spawn_file_actions_destroy(&quiet);
    }
    ~CrowdedMachine() {
        for (pid_t pid : panes_) {
            ::kill(pid, SIGKILL);
        }
        // The terminal reaps its panes, then ends.
        ::waitpid(terminal_, nullptr, 0);
        for (pid_t pid : idle_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    std::int32_t terminal() const { return terminal_; }
    const std::vector<std::string>& repositories() const { return repositories_; }

private:
    // The terminal starts its panes, tells their ids through a pipe and reaps them as they end.
    void startTerminal() {
        int told[2];
        if (::pipe2(told, O_CLOEXEC) != 0) {
            return;
        }
        terminal_ = ::fork();
        if (terminal_ == 0) {
            ::close(told[0]);
            for (std::size_t index = 0; index < repositories_.size(); ++index) {
                const pid_t pane = startPane(repositories_[index], index, 0);
                (void)!::write(told[1], &pane, sizeof pane);
            }
            ::close(told[1]);
            while (::wait(nullptr) > 0 || errno == EINTR) {
            }
            ::_exit(0);
        }
        ::close(told[1]);
        pid_t pane = 0;
        while (::read(told[0], &pane, sizeof pane) == sizeof pane) {
            panes_.push_back(pane);
        }
        ::close(told[0]);
    }

    bench::ScratchDirectory scratch_;
    std::vector<std::string> repositories_;
    pid_t terminal_ = -1;
    std::vector<pid_t> panes_;
    std::vector<pid_t> idle_;
};

// /proc as before: processes are found only by listing the whole table.
class WholeTableOnly final : public ProcessTable {
public:
    explicit WholeTableOnly(std::shared_ptr<ProcessTable> table)
        : table_(std::move(table)) {}
    std::map<std::int32_t, std::vector<std::int32_t>> allProcessParents() override {
        return table_->allProcessParents();
    }
    std::optional<ProcessStatus> status(std::int32_t pid) override { return table_->status(pid); }
    std::optional<std::string> currentDirectory(std::int32_t pid) override {
        return table_->currentDirectory(pid);
    }
    std::optional<std::vector<std::string>> commandLine(std::int32_t pid) override {
        return table_->commandLine(pid);
    }
    std::optional<std::vector<std::string>> environment(std::int32_t pid) override {
        return table_->environment(pid);
    }
    std::optional<std::chrono::system_clock::time_point> deviceAccessTime(const std::string& name) override {
        return table_->deviceAccessTime(name);
    }

private:
    std::shared_ptr<ProcessTable> table_;
};

// Detections as the trigger runs them in `terminal`, its keys just typed, one per iteration after a
// first that fills the caches; `beforeEach`, untimed, readies each. The median and 95th percentile of
// the iterations in milliseconds.
void timeDetections(benchmark::State& state, ProjectDetector& detector, const FrontmostApplication& terminal,
                    const std::optional<std::string>& expected,
                    const std::function<void()>& beforeEach = {}) {
    if (beforeEach) {
        beforeEach();
    }
    if (detector.detectProjectRoot(terminal, true) != expected) {
        state.SkipWithError("the detection did not find the pane used last");
        return;
    }
    std::vector<double> times;
    for (auto _ : state) {
        if (beforeEach) {
            beforeEach();
        }
        const auto start = bench::Clock::now();
        benchmark::DoNotOptimize(detector.detectProjectRoot(terminal, true));
        times.push_back(bench::millisecondsSince(start));
    }
    state.counters["p50_ms"] = bench::percentile(times, 0.50);
    state.counters["p95_ms"] = bench::percentile(times, 0.95);
}

constexpr std::int32_t kFakeTerminal = 5000;

// 2,000 processes in a table filled by hand, 20 panes below the terminal, each a shell with an editor
// in front, the last pane read last; `listsChildren` as the kernel may or may not.
std::shared_ptr<FakeProcessTable> fakeCrowd(FakeFileProbe& files, bool listsChildren) {
    auto table = std::make_shared<FakeProcessTable>();
    table->setListsChildren(listsChildren);
    table->addProcess(kFakeTerminal, 1);
    const auto epoch = std::chrono::system_clock::now();
    for (int i = 0; i < kPanes; ++i) {
        const std::string repository = "/home/user/code/repo" + std::to_string(i);
        const std::string device = "pts/" + std::to_string(i);
        const std::int32_t shell = kFakeTerminal + 1 + 2 * i;
        files.addDirectory(repository + "/.git");
        files.addDirectory(repository + "/src");
        table->addProcess(shell, kFakeTerminal, device, repository);
        table->addProcess(shell + 1, shell, device, repository + "/src");
        table->setForegroundGroup(device, shell + 1);
        table->setReads(shell + 1, ProcessReads{100, 100});
        table->setAccessTime(device, epoch + std::chrono::seconds(8 * i));
    }
    // The rest of the machine: services below init and their children.
    for (std::int32_t pid = 2; pid < kCrowd - 2 * kPanes + 1; ++pid) {
        table->addProcess(pid, pid < 100 ? 1 : 2 + pid % 97, std::nullopt, "/var/lib/service");
    }
    return table;
}

// The table filled by hand. Argument 1 reads the terminal's own processes, 0 lists the whole table.
void BM_TriggerDetectionFakeTable(benchmark::State& state) {
    auto files = std::make_shared<FakeFileProbe>("/home/user");
    auto table = fakeCrowd(*files, state.range(0) == 1);
    const FrontmostApplication terminal{"xterm", kFakeTerminal};
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), table, files);
    timeDetections(state, detector, terminal, "/home/user/code/repo" + std::to_string(kPanes - 1));
    state.counters["processes"] = static_cast<double>(kCrowd);
}
BENCHMARK(BM_TriggerDetectionFakeTable)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The same where the trigger's keys tell the tab: a baseline, then the first pane's editor reads a key.
void BM_TriggerDetectionTypedTab(benchmark::State& state) {
    auto files = std::make_shared<FakeFileProbe>("/home/user");
    auto table = fakeCrowd(*files, true);
    const FrontmostApplication terminal{"xfce4-terminal", kFakeTerminal};
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), table, files);
    detector.applicationActivated(terminal);
    std::uint64_t reads = 100;
    timeDetections(state, detector, terminal, "/home/user/code/repo0", [&] {
        detector.takeTabBaseline();
        ++reads;
        table->setReads(kFakeTerminal + 2, ProcessReads{reads, reads});
    });
}
BENCHMARK(BM_TriggerDetectionTypedTab)->Unit(benchmark::kMicrosecond);

CrowdedMachine& crowdedMachine() {
    static CrowdedMachine machine;
    return machine;
}

// The same in /proc, with real processes and pseudo-terminals. Argument 1 reads the terminal's own
// processes, 0 lists the whole table as the detection did before.
void BM_TriggerDetectionProc(benchmark::State& state) {
    CrowdedMachine& machine = crowdedMachine();
    std::shared_ptr<ProcessTable> table = std::make_shared<ProcProcessTable>();
    if (state.range(0) == 0) {
        table = std::make_shared<WholeTableOnly>(table);
    }
    const FrontmostApplication terminal{"xterm", machine.terminal()};
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), table, std::make_shared<LocalFileProbe>());
    timeDetections(state, detector, terminal, machine.repositories().back());
    state.counters["processes"] = static_cast<double>(processCount());
}
BENCHMARK(BM_TriggerDetectionProc)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// What each key that begins no trigger costs in a terminal of 20 tabs: its tabs' reads, taken as the
// baseline of the next trigger.
void BM_TabBaselineProc(benchmark::State& state) {
    CrowdedMachine& machine = crowdedMachine();
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), std::make_shared<ProcProcessTable>(),
                             std::make_shared<LocalFileProbe>());
    detector.applicationActivated(FrontmostApplication{"xfce4-terminal", machine.terminal()});
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        detector.takeTabBaseline();
        times.push_back(bench::millisecondsSince(start));
    }
    state.counters["p50_ms"] = bench::percentile(times, 0.50);
    state.counters["p95_ms"] = bench::percentile(times, 0.95);
}
BENCHMARK(BM_TabBaselineProc)->Unit(benchmark::kMicrosecond);

// One terminal process with 2 windows of 20 tabs and 2,000 processes below it: each tab a session on its
// own pseudo-terminal whose foreground job runs 49 more processes (a build at work). Every process
// started here is stopped at exit.
class BusyTerminal {
public:
    static constexpr int tabs = 40;
    static constexpr int jobsPerTab = 49;

    BusyTerminal() {
        for (int i = 0; i < tabs; ++i) {
            repositories_.push_back(scratch_.path().string() + "/repo" + std::to_string(i));
            std::filesystem::create_directories(repositories_.back() + "/.git");
        }
        terminal_ = ::fork();
        if (terminal_ != 0) {
            return;
        }
        for (std::size_t index = 0; index < repositories_.size(); ++index) {
            startPane(repositories_[index], index, jobsPerTab);
        }
        ::pause();
        ::_exit(0);
    }
    ~BusyTerminal() {
        // Every tab's session, then the terminal; the tabs' processes are reaped by init.
        for (pid_t session : sessions()) {
            ::kill(-session, SIGKILL);
        }
        ::kill(terminal_, SIGKILL);
        ::waitpid(terminal_, nullptr, 0);
    }

    std::int32_t terminal() const { return terminal_; }
    const std::vector<std::string>& repositories() const { return repositories_; }
    // Whether the tabs' folders are projects: without, they are scratch folders outside home, as a build's
    // may be.
    void markProjects(bool marked) const {
        for (const std::string& repository : repositories_) {
            std::error_code ignored;
            std::filesystem::rename(repository + (marked ? "/.unmarked" : "/.git"),
                                    repository + (marked ? "/.git" : "/.unmarked"), ignored);
        }
    }
    // Waits until every process runs below the terminal.
    bool ready() const {
        ProcProcessTable table;
        for (int tries = 0; tries < 500; ++tries) {
            if (ProcessInfo::descendants(terminal_, table).size() == tabs * (jobsPerTab + 1)) {
                return true;
            }
            ::usleep(10000);
        }
        return false;
    }

private:
    std::vector<pid_t> sessions() const {
        ProcProcessTable table;
        return table.childProcesses(terminal_).value_or(std::vector<std::int32_t>{});
    }

    bench::ScratchDirectory scratch_;
    std::vector<std::string> repositories_;
    pid_t terminal_ = 0;
};

BusyTerminal& busyTerminal() {
    static BusyTerminal terminal;
    return terminal;
}

// What each other key costs the main thread in that terminal. Argument 0: the whole baseline read on the
// main thread, as it was; 1: the main thread's part now: nothing at the key, the reading planned once and
// run in the background (timed apart as read_ms), and what it read taken in at the next detection's start;
// 2: the same when the terminal's window comes forward, another application in front before each time.
void BM_TabBaselineBusyTerminal(benchmark::State& state) {
    BusyTerminal& busy = busyTerminal();
    if (!busy.ready()) {
        state.SkipWithError("the terminal's processes did not all start");
        return;
    }
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), std::make_shared<ProcProcessTable>(),
                             std::make_shared<LocalFileProbe>());
    const FrontmostApplication terminal{"xfce4-terminal", busy.terminal()};
    detector.applicationActivated(terminal);
    std::vector<double> times;
    std::vector<double> reads;
    for (auto _ : state) {
        if (state.range(0) == 0) {
            const auto start = bench::Clock::now();
            detector.takeTabBaseline();
            times.push_back(bench::millisecondsSince(start));
            continue;
        }
        const bool switched = state.range(0) == 2;
        if (switched) {
            detector.applicationActivated(FrontmostApplication{"org.example.Editor", 1});
        }
        auto start = bench::Clock::now();
        if (switched) {
            detector.applicationActivated(terminal);
        }
        const auto& shelf = *detector.tabBaselineShelf();
        auto reading = shelf.planned();
        double main = bench::millisecondsSince(start);
        if (!reading) {
            state.SkipWithError("no reading of the tabs was planned");
            return;
        }
        start = bench::Clock::now();
        detector.tabBaselineShelf()->offer({reading->generation, shelf.inputs(), reading->read()});
        reads.push_back(bench::millisecondsSince(start));
        start = bench::Clock::now();
        detector.adoptTabBaseline();
        times.push_back(main + bench::millisecondsSince(start));
    }
    state.counters["p50_ms"] = bench::percentile(times, 0.50);
    state.counters["p95_ms"] = bench::percentile(times, 0.95);
    if (!reads.empty()) {
        state.counters["read_ms"] = bench::percentile(reads, 0.50);
    }
    state.counters["processes"] = BusyTerminal::tabs * (BusyTerminal::jobsPerTab + 1);
}
BENCHMARK(BM_TabBaselineBusyTerminal)->Arg(0)->Arg(1)->Arg(2)->Iterations(40)->Unit(benchmark::kMicrosecond);

// The detection at the trigger in that terminal, no tab told by its reads, the last tab's device read last.
// Argument 0: triggers one after another, each starting from the walk of the one before; 1: each after a
// key, whose walk ran in the background (untimed) as typing has it; 2: the same where no tab's folder is a
// project.
void BM_TriggerDetectionBusyTerminal(benchmark::State& state) {
    BusyTerminal& busy = busyTerminal();
    if (!busy.ready()) {
        state.SkipWithError("the terminal's processes did not all start");
        return;
    }
    const FrontmostApplication terminal{"xfce4-terminal", busy.terminal()};
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), std::make_shared<ProcProcessTable>(),
                             std::make_shared<LocalFileProbe>());
    detector.applicationActivated(terminal);
    std::function<void()> afterAKey;
    if (state.range(0) >= 1) {
        afterAKey = [&detector] {
            detector.noteInput();
            if (auto reading = detector.tabBaselineShelf()->planned()) {
                detector.tabBaselineShelf()->offer(
                    {reading->generation, detector.tabBaselineShelf()->inputs(), reading->read()});
            }
        };
    }
    const bool projects = state.range(0) != 2;
    busy.markProjects(projects);
    timeDetections(state, detector, terminal,
                   projects ? std::optional(busy.repositories().back()) : std::nullopt, afterAKey);
    busy.markProjects(true);
}
BENCHMARK(BM_TriggerDetectionBusyTerminal)->Arg(0)->Iterations(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TriggerDetectionBusyTerminal)->Arg(1)->Arg(2)->Iterations(40)->Unit(benchmark::kMicrosecond);

// A tmux server on a private socket with one window of its own per repository of the crowded machine,
// the last one selected, and a terminal (a process reading a pseudo-terminal) whose shell runs a tmux
// client attached to it. The server and every process started here are stopped at exit.
class TmuxTerminal {
public:
    explicit TmuxTerminal(const std::vector<std::string>& repositories) {
        const char* found = nullptr;
        for (const char* candidate : {"/usr/bin/tmux", "/usr/local/bin/tmux", "/bin/tmux"}) {
            if (::access(candidate, X_OK) == 0) {
                found = candidate;
                break;
            }
        }
        if (found == nullptr || repositories.empty()) {
            return;
        }
        program_ = found;
        // Not inside whatever tmux the benchmark itself may run in.
        tmux_ = std::string("env -u TMUX SHELL=/bin/sh ") + found + " -f /dev/null -S '" + socket() + "'";
        std::string setup = tmux_ + " new-session -d -s bench -c '" + repositories.front() + "'";
        for (std::size_t index = 1; index < repositories.size(); ++index) {
            setup += " && " + tmux_ + " new-window -t bench -c '" + repositories[index] + "'";
        }
        if (std::system(setup.c_str()) != 0) {
            return;
        }
        // The client runs on the pseudo-terminal's other end, in a session of its own.
        terminal_ = std::make_unique<bench::PtyTerminal>(
            std::vector<std::string>{found, "-S", socket(), "attach", "-t", "bench"},
            std::vector<std::pair<std::string, std::string>>{{"TERM", "xterm"}},
            std::vector<std::string>{"TMUX"});
        for (int tries = 0; tries < 500 && !attached(); ++tries) {
            ::usleep(10000);
        }
    }
    ~TmuxTerminal() {
        terminal_.reset();
        if (!tmux_.empty()) {
            (void)!std::system((tmux_ + " kill-server >/dev/null 2>&1").c_str());
        }
    }

    std::int32_t terminal() const { return attached() ? terminal_->pid() : -1; }
    // The server's process id, or 0.
    pid_t server() const {
        std::string pid;
        if (FILE* pipe = ::popen((tmux_ + " display-message -p '#{pid}' 2>/dev/null").c_str(), "r")) {
            char buffer[32] = {};
            pid = std::fgets(buffer, sizeof buffer, pipe) != nullptr ? buffer : "";
            ::pclose(pipe);
        }
        return static_cast<pid_t>(std::atoi(pid.c_str()));
    }
    std::string socket() const { return scratch_.path().string() + "/tmux"; }
    const std::string& program() const { return program_; }

private:
    bool attached() const {
        return !tmux_.empty() && std::system((tmux_ + " list-clients 2>/dev/null | grep -q .").c_str()) == 0;
    }

    bench::ScratchDirectory scratch_;
    std::string program_;
    std::string tmux_;
    std::unique_ptr<bench::PtyTerminal> terminal_;
};

TmuxTerminal& tmuxTerminal() {
    static TmuxTerminal terminal(crowdedMachine().repositories());
    return terminal;
}

// Detections in the tmux terminal 30 ms apart, as triggers come, on the crowded machine.
void timeTmuxDetections(benchmark::State& state, ProjectDetector& detector) {
    bench::timeDetectionsApart(state, detector, crowdedMachine().repositories().back());
    state.counters["processes"] = static_cast<double>(processCount());
}

std::unique_ptr<ProjectDetector> tmuxDetector(TmuxTerminal& tmux, WorkerPool& pool) {
    auto apps = std::make_shared<FakeActiveAppProvider>();
    apps->setFrontmost(FrontmostApplication{"xterm", tmux.terminal()});
    auto table = std::make_shared<ProcProcessTable>();
    return std::make_unique<ProjectDetector>(
        apps, table, std::make_shared<LocalFileProbe>(),
        std::make_unique<TmuxPaneFinder>(table, std::make_shared<LinuxProcessRunner>(), pool,
                                         ProgramOnPath::korvaneSearchPath()));
}

// The detection at the trigger in a terminal running tmux on the crowded machine: the terminal's
// processes, the question to the client's server, and the selected pane's processes.
void BM_TriggerDetectionTmux(benchmark::State& state) {
    TmuxTerminal& tmux = tmuxTerminal();
    if (tmux.terminal() < 1) {
        state.SkipWithError("tmux is not installed or its client did not attach");
        return;
    }
    ThreadWorkerPool pool("bench-tmux", 8);
    auto detector = tmuxDetector(tmux, pool);
    timeTmuxDetections(state, *detector);
}
BENCHMARK(BM_TriggerDetectionTmux)->Iterations(300)->Unit(benchmark::kMicrosecond);

// The same with the server stopped (SIGSTOP): after the first detection, which waits for it, the
// server is remembered and no detection waits for it again. Every detection misses the pane.
void BM_TriggerDetectionTmuxStopped(benchmark::State& state) {
    TmuxTerminal& tmux = tmuxTerminal();
    const pid_t server = tmux.terminal() < 1 ? 0 : tmux.server();
    if (server < 1) {
        state.SkipWithError("tmux is not installed or its client did not attach");
        return;
    }
    ThreadWorkerPool pool("bench-tmux", 8);
    auto detector = tmuxDetector(tmux, pool);
    bench::timeDetectionsStopped(state, *detector, server, crowdedMachine().repositories().back());
    state.counters["processes"] = static_cast<double>(processCount());
}
BENCHMARK(BM_TriggerDetectionTmuxStopped)->Iterations(300)->Unit(benchmark::kMicrosecond);

// The question alone: tmux started to ask the server which pane each client shows.
void BM_TmuxListClients(benchmark::State& state) {
    TmuxTerminal& tmux = tmuxTerminal();
    if (tmux.terminal() < 1) {
        state.SkipWithError("tmux is not installed or its client did not attach");
        return;
    }
    bench::timeQuestions(state, TmuxServerQuestions::request(tmux.program(), tmux.socket()), "tmux did not answer");
}
BENCHMARK(BM_TmuxListClients)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
