// Project detection as the shell runs it: a terminal whose three panes sit in three repositories
// (real pseudo-terminals and processes read from /proc), and an editor's window title resolved
// against the search roots of a home folder with a few dozen projects.
#include "platform/fake/fakeactiveappprovider.h"
#include "platform/linux/localfileprobe.h"
#include "platform/linux/procprocesstable.h"
#include "providers/projectdetector.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

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

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
