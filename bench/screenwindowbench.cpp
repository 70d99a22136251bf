// Project detection in a terminal running GNU screen: a session of 20 windows, each in a repository
// of its own, the last one shown on a terminal (a process reading a pseudo-terminal) whose child is
// the attached screen client; the detection at the trigger, and the question to the session alone.
#include "benchtiming.h"
#include "platform/fake/fakeactiveappprovider.h"
#include "platform/linux/linuxprocessrunner.h"
#include "platform/linux/localfileprobe.h"
#include "platform/linux/procprocesstable.h"
#include "providers/projectdetector.h"
#include "ptyterminal.h"
#include "scratchdirectory.h"

#include <benchmark/benchmark.h>
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

// The detection at the trigger: the terminal's processes, the question to the session, and the shown
// window's processes.
void BM_TriggerDetectionScreen(benchmark::State& state) {
    ScreenTerminal& screen = screenTerminal();
    if (screen.terminal() < 1) {
        state.SkipWithError("screen is not installed or its client did not attach");
        return;
    }
    auto apps = std::make_shared<FakeActiveAppProvider>();
    apps->setFrontmost(FrontmostApplication{"xterm", screen.terminal()});
    ProjectDetector detector(apps, std::make_shared<ProcProcessTable>(), std::make_shared<LocalFileProbe>(),
                             std::make_shared<LinuxProcessRunner>());
    if (detector.detectProjectRoot() != screen.repositories().back()) {
        state.SkipWithError("the detection did not find the shown window");
        return;
    }
    std::vector<double> times;
    std::size_t missed = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        const auto found = detector.detectProjectRoot();
        times.push_back(bench::millisecondsSince(start));
        missed += found == screen.repositories().back() ? 0 : 1;
    }
    state.counters["p50_ms"] = bench::percentile(times, 0.50);
    state.counters["p95_ms"] = bench::percentile(times, 0.95);
    state.counters["missed"] = static_cast<double>(missed);
}
BENCHMARK(BM_TriggerDetectionScreen)->Unit(benchmark::kMicrosecond);

// The question alone: screen started to ask the session which window its display shows.
void BM_ScreenQuery(benchmark::State& state) {
    ScreenTerminal& screen = screenTerminal();
    if (screen.terminal() < 1) {
        state.SkipWithError("screen is not installed or its client did not attach");
        return;
    }
    LinuxProcessRunner runner;
    ProcessRequest request;
    request.executable = ScreenTerminal::program;
    request.arguments = {"-S", "bench", "-Q", "number"};
    request.inheritsEnvironment = false;
    request.environment = {{"SCREENDIR", screen.folder()}};
    request.timeout = ScreenWindowFinder::answerTimeout;
    request.killGrace = ScreenWindowFinder::killGrace;
    std::vector<double> times;
    std::size_t unanswered = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        auto result = runner.run(request);
        times.push_back(bench::millisecondsSince(start));
        unanswered += result && result->succeeded() ? 0 : 1;
    }
    state.counters["p50_ms"] = bench::percentile(times, 0.50);
    state.counters["p95_ms"] = bench::percentile(times, 0.95);
    state.counters["unanswered"] = static_cast<double>(unanswered);
}
BENCHMARK(BM_ScreenQuery)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
