// Project detection in a terminal running GNU screen: a session of 20 windows, each in a repository
// of its own, the last one shown on a terminal (a process reading a pseudo-terminal) whose child is
// the attached screen client; the detection at the trigger, and the question to the session alone.
#include "benchtiming.h"
#include "detectiontiming.h"
#include "platform/fake/fakeactiveappprovider.h"
#include "platform/linux/linuxprocessrunner.h"
#include "platform/linux/localfileprobe.h"
#include "platform/linux/procprocesstable.h"
#include "platform/linux/threadworkerpool.h"
#include "providers/projectdetector.h"
#include "ptyterminal.h"
#include "scratchdirectory.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace korvane {
namespace {

constexpr int kWindows = 20;

// The session "bench" in a private session folder, its windows and the terminal attached to it; the
// session ends at exit.
class ScreenTerminal {
public:
    ScreenTerminal() {
        for (int i = 0; i < kWindows; ++i) {
            repositories_.push_back(scratch_.path().string() + "/repo" + std::to_string(i));
            std::filesystem::create_directories(repositories_.back() + "/.git");
        }
        std::filesystem::create_directory(folder());
        std::filesystem::permissions(folder(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        if (::access(program, X_OK) != 0) {
            return;
        }
        screen_ = "env SCREENDIR='" + folder() + "' SHELL=/bin/sh " + program + " -S bench";
        std::string setup = "cd '" + repositories_.front() + "' && " + screen_ + " -dm -c /dev/null";
        for (int i = 1; i < kWindows; ++i) {
            setup += " && " + screen_ + " -X chdir '" + repositories_[i] + "' && " + screen_ + " -X screen";
        }
        if (std::system(setup.c_str()) != 0) {
            return;
        }
        terminal_ = std::make_unique<bench::PtyTerminal>(
            std::vector<std::string>{program, "-r", "bench"},
            std::vector<std::pair<std::string, std::string>>{{"TERM", "xterm"}, {"SCREENDIR", folder()}});
        for (int tries = 0; tries < 500 && !attached(); ++tries) {
            ::usleep(10000);
        }
        // Until the session has started every window's shell and shows the last one.
        const std::string shown = screen_ + " -X select " + std::to_string(kWindows - 1) + " && " + screen_ +
                                  " -Q number | grep -q '^" + std::to_string(kWindows - 1) + " '";
        for (int tries = 0; tries < 500 && std::system(shown.c_str()) != 0; ++tries) {
            ::usleep(10000);
        }
    }
    ~ScreenTerminal() {
        terminal_.reset();
        if (!screen_.empty()) {
            (void)!std::system((screen_ + " -X quit >/dev/null 2>&1").c_str());
        }
    }

    static constexpr const char* program = "/usr/bin/screen";

    std::int32_t terminal() const { return attached() ? terminal_->pid() : -1; }
    // The session's server, by its socket's name ("<pid>.bench"), or 0.
    pid_t server() const {
        for (const auto& entry : std::filesystem::directory_iterator(folder())) {
            const std::string name = entry.path().filename().string();
            if (name.ends_with(".bench")) {
                return static_cast<pid_t>(std::atoi(name.c_str()));
            }
        }
        return 0;
    }
    std::string folder() const { return scratch_.path().string() + "/sessions"; }
    const std::vector<std::string>& repositories() const { return repositories_; }

private:
    bool attached() const {
        return terminal_ && std::system((screen_ + " -ls 2>/dev/null | grep -q Attached").c_str()) == 0;
    }

    bench::ScratchDirectory scratch_;
    std::vector<std::string> repositories_;
    std::string screen_;
    std::unique_ptr<bench::PtyTerminal> terminal_;
};

ScreenTerminal& screenTerminal() {
    static ScreenTerminal terminal;
    return terminal;
}

std::unique_ptr<ProjectDetector> screenDetector(ScreenTerminal& screen, WorkerPool& pool) {
    auto apps = std::make_shared<FakeActiveAppProvider>();
    apps->setFrontmost(FrontmostApplication{"xterm", screen.terminal()});
    auto table = std::make_shared<ProcProcessTable>();
    return std::make_unique<ProjectDetector>(
        apps, table, std::make_shared<LocalFileProbe>(), nullptr,
        std::make_unique<ScreenWindowFinder>(table, std::make_shared<LinuxProcessRunner>(), pool,
                                             ProgramOnPath::korvaneSearchPath()));
}

// The detection at the trigger: the terminal's processes, the question to the session, and the shown
// window's processes.
void BM_TriggerDetectionScreen(benchmark::State& state) {
    ScreenTerminal& screen = screenTerminal();
    if (screen.terminal() < 1) {
        state.SkipWithError("screen is not installed or its client did not attach");
        return;
    }
    ThreadWorkerPool pool("bench-screen", 8);
    auto detector = screenDetector(screen, pool);
    bench::timeDetectionsApart(state, *detector, screen.repositories().back());
}
BENCHMARK(BM_TriggerDetectionScreen)->Iterations(300)->Unit(benchmark::kMicrosecond);

// The same with the session's server stopped (SIGSTOP): after the first detection, which waits for
// it, the session is remembered and no detection waits for it again. Every detection misses.
void BM_TriggerDetectionScreenStopped(benchmark::State& state) {
    ScreenTerminal& screen = screenTerminal();
    const pid_t server = screen.terminal() < 1 ? 0 : screen.server();
    if (server < 1) {
        state.SkipWithError("screen is not installed or its client did not attach");
        return;
    }
    ThreadWorkerPool pool("bench-screen", 8);
    auto detector = screenDetector(screen, pool);
    bench::timeDetectionsStopped(state, *detector, server, screen.repositories().back());
}
BENCHMARK(BM_TriggerDetectionScreenStopped)->Iterations(300)->Unit(benchmark::kMicrosecond);

// Outside screen: a terminal whose shell sits in a repository, read without the screen step (0) and
// with it (1), which then only looks at the names of the terminal's processes.
void BM_TriggerDetectionOutsideScreen(benchmark::State& state) {
    const std::string repository = screenTerminal().repositories().front();
    bench::PtyTerminal terminal({"/bin/sh", "-c", "cd '" + repository + "' && exec sleep 600"}, {});
    ThreadWorkerPool pool("bench-screen", 8);
    auto apps = std::make_shared<FakeActiveAppProvider>();
    apps->setFrontmost(FrontmostApplication{"xterm", terminal.pid()});
    auto table = std::make_shared<ProcProcessTable>();
    ProjectDetector detector(apps, table, std::make_shared<LocalFileProbe>(), nullptr,
                             state.range(0) == 0 ? nullptr
                                                 : std::make_unique<ScreenWindowFinder>(
                                                       table, std::make_shared<LinuxProcessRunner>(), pool,
                                                       ProgramOnPath::korvaneSearchPath()));
    for (int tries = 0; tries < 100 && detector.detectProjectRoot() != repository; ++tries) {
        ::usleep(10000);
    }
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        benchmark::DoNotOptimize(detector.detectProjectRoot());
        times.push_back(bench::millisecondsSince(start));
    }
    state.counters["p50_ms"] = bench::percentile(times, 0.50);
    state.counters["p95_ms"] = bench::percentile(times, 0.95);
}
BENCHMARK(BM_TriggerDetectionOutsideScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The question alone: screen started to ask the session which window its display shows.
void BM_ScreenQuery(benchmark::State& state) {
    ScreenTerminal& screen = screenTerminal();
    if (screen.terminal() < 1) {
        state.SkipWithError("screen is not installed or its client did not attach");
        return;
    }
    bench::timeQuestions(state, ScreenWindowFinder::request(ScreenTerminal::program, screen.folder(), "bench"),
                         "screen did not answer");
}
BENCHMARK(BM_ScreenQuery)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
