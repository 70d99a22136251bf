// Project file search: per-keystroke ranking over a cached index (the files under /usr and synthetic
// trees of 10k to 500k paths, queries typed a character at a time, one run with 10,000 uncommitted
// paths), what the index and ranker keep per path, cold index builds from a git repository of 100k
// files and a walk of 50k files, the stamp that tells whether a project's list changed, the look at an
// unchanged 136,000-file project that each trigger starts, the watch that spares that look the stamp,
// and the search of each listing for the folders that hold no listed file. Run pinned to one core
// (taskset -c N).

#include "base/clock.h"
#include "files/filepathindexbuilder.h"
#include "files/filepathprovider.h"
#include "files/gitcommandrunner.h"
#include "files/projectchangewatch.h"
#include "files/projectstatestamp.h"
#include "files/unlistedfolders.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/manualworkerpool.h"
#include "platform/linux/inotifytreewatchsource.h"
#include "platform/linux/linuxprocessrunner.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

using Paths = std::vector<std::string>;

// Where the providers' background work waits: the runs time ranking and cold builds only.
WorkerPool& idleWorkers() {
    static ManualWorkerPool workers;
    return workers;
}

Paths usrPaths() {
    static const Paths paths = [] {
        Paths list;
        std::FILE* pipe = ::popen("find /usr -type f -printf '%P\\n' 2>/dev/null", "r");
        char line[8192];
        while (pipe && std::fgets(line, sizeof line, pipe)) {
            std::string path(line);
            if (!path.empty() && path.back() == '\n') {
                path.pop_back();
            }
            list.push_back(std::move(path));
        }
        if (pipe) {
            ::pclose(pipe);
        }
        std::sort(list.begin(), list.end());
        return list;
    }();
    return paths;
}

// A deterministic source tree of realistic depth (1 to 11 components), folder vocabulary and
// extension mix.
Paths syntheticPaths(std::size_t count) {
    static const std::vector<std::string> folders = {
        "src", "lib", "test", "tests", "docs", "app", "core", "ui", "components", "utils", "internal", "pkg",
        "cmd", "api", "server", "client", "models", "views", "controllers", "services", "config", "scripts",
        "assets", "images", "styles", "vendor", "third_party", "platform", "linux", "common", "include",
        "Source", "Runtime", "Editor", "Plugins", "modules", "packages", "web", "mobile", "shared"};
    static const std::vector<std::string> stems = {
        "main", "index", "app", "server", "client", "utils", "helpers", "config", "router", "store", "README",
        "Makefile", "CMakeLists", "setup", "package", "handler", "service", "model", "view", "controller",
        "parser", "lexer", "compiler", "runtime", "module", "test_main", "UserProfile", "SearchRanker",
        "file_path", "data-set", "LICENSE", "Dockerfile", "constants", "types", "schema", "migration"};
    static const std::vector<std::string> extensions = {".c", ".h", ".cpp", ".hpp", ".ts", ".tsx", ".js", ".py",
                                                        ".go", ".rs", ".md", ".json", ".yml", ".txt", ".java",
                                                        ".swift", "", ".css", ".html", ".sh"};
    std::mt19937 random(static_cast<unsigned>(count));
    Paths paths;
    paths.reserve(count);
    for (std::size_t i = 0; paths.size() < count; ++i) {
        const int depth = std::min(10, static_cast<int>(std::geometric_distribution<int>(0.35)(random)));
        std::string path;
        for (int d = 0; d < depth; ++d) {
            path += folders[random() % folders.size()];
            if (random() % 4 == 0) {
                path += std::to_string(random() % 20);
            }
            path += '/';
        }
        path += stems[random() % stems.size()] + std::to_string(i % 97) + extensions[random() % extensions.size()];
        paths.push_back(std::move(path));
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

struct Dataset {
    std::shared_ptr<FilePathProvider> provider;
    FilePathIndex index;
};

FakeClock& benchClock() {
    static FakeClock clock;
    return clock;
}

// A provider whose git answers status with `uncommitted` paths (every path, untracked, when
// `allUntracked`) and log with the last week's 50 commits' files, and an index over `paths` as the
// provider keeps it.
Dataset makeDataset(const Paths& paths, std::size_t uncommitted, bool allUntracked = false) {
    Paths status;
    Paths log;
    if (allUntracked) {
        for (const auto& path : paths) {
            status.push_back("?? " + path);
        }
    } else {
        for (std::size_t i = 0; i < uncommitted && i < paths.size(); ++i) {
            status.push_back(" M " + paths[(i * 7919) % paths.size()]);
        }
        for (std::size_t i = 0; uncommitted > 0 && i < 50 && i < paths.size(); ++i) {
            log.push_back(paths[(i * 104729 + 13) % paths.size()]);
        }
    }
    CommandRunner runner = [status, log, paths](const Paths& arguments, const std::string&,
                                                double) -> std::optional<Paths> {
        if (arguments[0] == "status") {
            return status;
        }
        if (arguments[0] == "log") {
            return log;
        }
        if (arguments[0] == "ls-files") {
            return paths;
        }
        return Paths{};
    };
    Dataset dataset;
    dataset.provider = FilePathProvider::create(benchClock(), runner, idleWorkers());
    // Cached by the provider, with the snapshot of recent files it ranks with made once.
    dataset.index = dataset.provider->index("/bench/root");
    dataset.provider->rank("x", dataset.index, "projectRelative", false);
    return dataset;
}

const Dataset& dataset(const std::string& name) {
    static std::map<std::string, Dataset> cache;
    if (const auto found = cache.find(name); found != cache.end()) {
        return found->second;
    }
    Dataset made;
    if (name == "usr") {
        made = makeDataset(usrPaths(), 0);
    } else if (name == "usr+10k-uncommitted") {
        made = makeDataset(usrPaths(), 10000);
    } else if (name == "usr-all-untracked") {
        made = makeDataset(usrPaths(), 0, true);
    } else {
        made = makeDataset(syntheticPaths(std::stoul(name)), 0);
    }
    return cache.emplace(name, std::move(made)).first->second;
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(share * static_cast<double>(values.size())));
    return values[at];
}

double threadMilliseconds() {
    struct timespec now {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Types `query` a character at a time into the files scope, as the popup does, timing each keystroke
// by the thread's processor time (on a shared machine the wall time also counts other processes).
void BM_TypedQuery(benchmark::State& state, std::string name, std::string query) {
    const Dataset& data = dataset(name);
    std::vector<double> keystrokes;
    std::vector<double> wall;
    std::vector<std::vector<double>> byLength(query.size() + 1);
    std::size_t results = 0;
    for (auto _ : state) {
        for (std::size_t length = 1; length <= query.size(); ++length) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = threadMilliseconds();
            const auto ranked = data.provider->rank(query.substr(0, length), data.index, "projectRelative", false);
            keystrokes.push_back(threadMilliseconds() - cpuStart);
            byLength[length].push_back(keystrokes.back());
            wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            results = ranked.size();
            benchmark::DoNotOptimize(ranked);
        }
    }
    state.counters["paths"] = static_cast<double>(data.index.relativePaths->size());
    state.counters["p50_ms"] = percentile(keystrokes, 0.50);
    state.counters["p95_ms"] = percentile(keystrokes, 0.95);
    state.counters["max_ms"] = percentile(keystrokes, 1.0);
    state.counters["wall_p95_ms"] = percentile(wall, 0.95);
    state.counters["ns_per_path"] = percentile(keystrokes, 0.50) * 1e6 / static_cast<double>(data.index.relativePaths->size());
    state.counters["results"] = static_cast<double>(results);
    if (std::getenv("KORVANE_BENCH_PER_KEY")) {
        for (std::size_t length = 1; length <= query.size(); ++length) {
            state.counters["'" + query.substr(0, length) + "'_ms"] = percentile(byLength[length], 0.5);
        }
    }
}

// Everything the index and the ranker keep per path: the path list with its prepared forms, and the
// ranker's narrowing list after a one-letter query (which holds the most paths).
void BM_MemoryPerPath(benchmark::State& state) {
    const Paths& paths = usrPaths();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const PathList list(paths);
        bytes = list.memoryBytes();
        benchmark::DoNotOptimize(bytes);
    }
    std::size_t textBytes = 0;
    for (const auto& path : paths) {
        textBytes += path.size();
    }
    // The narrowing list holds one 4-byte index per path at most.
    const double narrowing = 4.0;
    state.counters["paths"] = static_cast<double>(paths.size());
    state.counters["bytes_per_path"] = static_cast<double>(bytes) / static_cast<double>(paths.size()) + narrowing;
    state.counters["text_bytes_per_path"] = static_cast<double>(textBytes) / static_cast<double>(paths.size());
}

// Writes `paths` as one-line files below `root`, leaving out a path whose folder is already a file.
void writeTree(const std::filesystem::path& root, const Paths& paths) {
    for (const auto& path : paths) {
        const auto full = root / path;
        std::error_code error;
        std::filesystem::create_directories(full.parent_path(), error);
        if (!error) {
            std::ofstream(full).put('\n');
        }
    }
}

struct TempTree {
    std::filesystem::path root;
    explicit TempTree(const std::string& name) {
        root = std::filesystem::temp_directory_path() / ("korvane-bench-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    // git may still be packing objects in the background as the tree goes.
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

// A git repository of 100k synthetic files, made on first use.
const std::filesystem::path& gitTree() {
    static TempTree tree("git");
    static bool made = false;
    if (!made) {
        writeTree(tree.root, syntheticPaths(100000));
        const std::string dir = tree.root.string();
        std::system(("cd '" + dir + "' && git init -q && git add -A && git -c user.email=b@example.invalid "
                     "-c user.name=b commit -qm tree").c_str());
        made = true;
    }
    return tree.root;
}

// A cold build from git: ls-files of a 100k-file repository, decoding, sorting and preparing the list.
void BM_GitIndexBuild(benchmark::State& state) {
    const auto git = GitCommandRunner(std::make_shared<LinuxProcessRunner>()).commandRunner();
    std::size_t files = 0;
    for (auto _ : state) {
        const auto provider = FilePathProvider::create(SystemClock::shared(), git, idleWorkers());
        files = provider->index(gitTree().string()).relativePaths->size();
    }
    state.counters["files"] = static_cast<double>(files);
}

// A git project of 136,000 untracked files in 4,100 folders shaped as bench/shell-latency makes it,
// listed by a provider whose background work runs when the bench says.
struct UnchangedProject {
    TempTree tree{"unchanged"};
    ManualWorkerPool workers;
    std::shared_ptr<FilePathProvider> provider;

    std::string root() const { return tree.root.string(); }
    std::shared_ptr<const PathList> paths() const { return provider->index(root()).relativePaths; }
};

UnchangedProject& unchangedProject() {
    static UnchangedProject project;
    if (!project.provider) {
        const std::vector<std::string> words = {"core",   "net",   "ui",    "store", "util",
                                                "render", "parse", "index", "cache", "sync"};
        for (int a = 0; a < 100; ++a) {
            for (int b = 0; b < 40; ++b) {
                const auto folder = project.tree.root / "src" / (words[a % 10] + std::to_string(a)) /
                                    (words[b % 10] + std::to_string(b));
                std::filesystem::create_directories(folder);
                for (int c = 0; c < 34; ++c) {
                    std::ofstream(folder / (words[(a + b + c) % 10] + "_" + std::to_string(b) + "_" +
                                            std::to_string(c) + ".c"));
                }
            }
        }
        std::system(("git init -q '" + project.root() + "'").c_str());
        // Times this close to the listing would leave it unsettled, and every look would list again.
        ::sleep(3);
        const auto git = GitCommandRunner(std::make_shared<LinuxProcessRunner>()).commandRunner();
        project.provider = FilePathProvider::create(SystemClock::shared(), git, project.workers, nullptr,
                                                    std::make_shared<InotifyTreeWatchSource>());
        project.provider->index(project.root());
        project.workers.runAll();
    }
    return project;
}

// The look at a project that became current or in which a session began: the stamp of a list (git's
// files and every folder holding a listed path), taken on a worker. "git-100k" is the synthetic
// repository, nearly a folder per file; "usr" the files under /usr, a tree shaped as projects are;
// "136k" the project above, what each look at it read before the watch.
void BM_ProjectStateStamp(benchmark::State& state, std::string name) {
    std::string root = "/usr";
    std::shared_ptr<const PathList> paths;
    if (name == "usr") {
        paths = std::make_shared<const PathList>(usrPaths());
    } else if (name == "136k") {
        root = unchangedProject().root();
        paths = unchangedProject().paths();
    } else {
        const auto git = GitCommandRunner(std::make_shared<LinuxProcessRunner>()).commandRunner();
        root = gitTree().string();
        paths =
            FilePathProvider::create(SystemClock::shared(), git, idleWorkers())->index(root).relativePaths;
    }
    std::uint64_t value = 0;
    for (auto _ : state) {
        value ^= ProjectStateStamp::take(root, *paths, std::chrono::system_clock::now()).value;
    }
    benchmark::DoNotOptimize(value);
    std::set<std::string_view> folders;
    for (std::size_t i = 0; i < paths->size(); ++i) {
        std::string_view path = (*paths)[i];
        for (std::size_t slash = path.rfind('/'); slash != std::string_view::npos; slash = path.rfind('/')) {
            path = path.substr(0, slash);
            folders.insert(path);
        }
    }
    state.counters["files"] = static_cast<double>(paths->size());
    state.counters["folders"] = static_cast<double>(folders.size());
}

// The look at the project that each trigger starts (0.1 s after it, on a worker) where nothing
// changed: the processor time of the whole look on the worker, and the folders and files it stats.
void BM_UnchangedProjectCheck(benchmark::State& state) {
    UnchangedProject& project = unchangedProject();
    const std::uint64_t read = ProjectStateStamp::entriesRead();
    for (auto _ : state) {
        project.provider->checkForChanges(project.root());
        project.workers.runAll();
    }
    state.counters["files"] = static_cast<double>(project.paths()->size());
    state.counters["entries_stated"] = benchmark::Counter(
        static_cast<double>(ProjectStateStamp::entriesRead() - read), benchmark::Counter::kAvgIterations);
}

// Putting that project under watch, as each listing of it does before its stamp.
void BM_ProjectChangeWatchArm(benchmark::State& state) {
    const auto paths = unchangedProject().paths();
    InotifyTreeWatchSource source;
    bool armed = false;
    for (auto _ : state) {
        armed = ProjectChangeWatch::arm(source, unchangedProject().root(),
                                        ProjectStateStamp::treeEntries(*paths)) != nullptr;
    }
    state.counters["armed"] = armed ? 1 : 0;
}

// The stamp each listing takes, with its search for the folders the listing takes files from that hold
// none, to set beside ProjectStateStamp (the stamp alone): "136k" the project above (no folder besides
// the listed ones), "git-100k" the synthetic repository with nearly a folder per file, "ignored" a small
// repository beside an ignored node_modules of 2,000 folders and ten empty folders, each holding another
// (git asked twice), "empty-2000" a 20,000-file repository whose every folder holds an ignored __pycache__,
// beside one empty folder holding 2,000 others, each holding another (more folders than git can be asked
// about by name, at many depths).
void BM_ListingStamp(benchmark::State& state, std::string name) {
    const auto git = GitCommandRunner(std::make_shared<LinuxProcessRunner>()).commandRunner();
    std::string root;
    std::shared_ptr<const PathList> paths;
    if (name == "136k") {
        root = unchangedProject().root();
        paths = unchangedProject().paths();
    } else if (name == "git-100k") {
        root = gitTree().string();
        paths = FilePathProvider::create(SystemClock::shared(), git, idleWorkers())->index(root).relativePaths;
    } else if (name == "empty-2000") {
        static TempTree tree("empties");
        root = tree.root.string();
        if (!std::filesystem::exists(tree.root / ".git")) {
            const Paths files = syntheticPaths(20000);
            writeTree(tree.root, files);
            std::error_code takenByAFile;
            for (const std::string& file : files) {
                std::filesystem::create_directories(
                    tree.root / std::filesystem::path(file).parent_path() / "__pycache__", takenByAFile);
            }
            for (int i = 0; i < 2000; ++i) {
                std::filesystem::create_directories(tree.root / "drafts" / std::to_string(i) / "nested");
            }
            std::ofstream(tree.root / ".gitignore") << "__pycache__/\n";
            std::system(("cd '" + root + "' && git init -q && git add -A && git -c user.email=b@example.invalid "
                         "-c user.name=b commit -qm tree").c_str());
        }
        paths = FilePathProvider::create(SystemClock::shared(), git, idleWorkers())->index(root).relativePaths;
    } else {
        static TempTree tree("ignored");
        root = tree.root.string();
        if (!std::filesystem::exists(tree.root / ".git")) {
            writeTree(tree.root, syntheticPaths(2000));
            for (int i = 0; i < 2000; ++i) {
                std::filesystem::create_directories(tree.root / "node_modules" / ("pkg" + std::to_string(i)));
            }
            for (int i = 0; i < 10; ++i) {
                std::filesystem::create_directories(tree.root / ("empty" + std::to_string(i)) / "nested");
            }
            std::ofstream(tree.root / ".gitignore") << "node_modules/\n";
            std::system(("git init -q '" + root + "'").c_str());
        }
        paths = FilePathProvider::create(SystemClock::shared(), git, idleWorkers())->index(root).relativePaths;
    }
    const auto entries = ProjectStateStamp::treeEntries(*paths);
    const auto judge = UnlistedFolders::gitJudge(git, root, 5.0);
    std::vector<std::string> found;
    std::uint64_t value = 0;
    for (auto _ : state) {
        value ^= ProjectStateStamp::take(root, entries, std::chrono::system_clock::now(),
                                         [&](const std::vector<std::string_view>& roomy) {
                                             found = UnlistedFolders::find(root, *paths, entries, roomy, judge);
                                             return std::vector<std::string_view>(found.begin(), found.end());
                                         })
                     .value;
    }
    benchmark::DoNotOptimize(value);
    state.counters["folders"] = static_cast<double>(entries.folders.size());
    state.counters["found"] = static_cast<double>(found.size());
}

// The fallback walk of a 50k-file tree without git.
void BM_WalkIndexBuild(benchmark::State& state) {
    static TempTree tree("walk");
    static bool made = false;
    if (!made) {
        writeTree(tree.root, syntheticPaths(50000));
        made = true;
    }
    std::size_t files = 0;
    for (auto _ : state) {
        FilePathIndexBuilder builder;
        builder.commandRunner = [](const Paths&, const std::string&, double) { return std::optional<Paths>(); };
        const auto result = builder.build(tree.root.string(), {});
        const PathList list(result.relativePaths);
        files = list.size();
    }
    state.counters["files"] = static_cast<double>(files);
}

void registerAll() {
    const std::vector<std::string> queries = {"src/co", "main", "readme", "usrlibpy", "a", "zzzqqq"};
    for (const std::string name : {"usr", "10000", "50000", "100000", "500000"}) {
        for (const auto& query : queries) {
            benchmark::RegisterBenchmark(("TypedQuery/" + name + "/" + query).c_str(), BM_TypedQuery, name, query)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.5);
        }
    }
    for (const std::string name : {"usr+10k-uncommitted", "usr-all-untracked"}) {
        for (const auto& query : queries) {
            benchmark::RegisterBenchmark(("TypedQuery/" + name + "/" + query).c_str(), BM_TypedQuery, name, query)
                ->Unit(benchmark::kMillisecond)
                ->MinTime(0.5);
        }
    }
    benchmark::RegisterBenchmark("MemoryPerPath/usr", BM_MemoryPerPath)->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark("IndexBuild/git-100k", BM_GitIndexBuild)->Unit(benchmark::kMillisecond)->Iterations(3);
    for (const std::string name : {"usr", "git-100k", "136k"}) {
        benchmark::RegisterBenchmark(("ProjectStateStamp/" + name).c_str(), BM_ProjectStateStamp, name)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    }
    benchmark::RegisterBenchmark("UnchangedProjectCheck/136k", BM_UnchangedProjectCheck)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.5);
    benchmark::RegisterBenchmark("ProjectChangeWatchArm/136k", BM_ProjectChangeWatchArm)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(0.5);
    for (const std::string name : {"136k", "git-100k", "ignored", "empty-2000"}) {
        benchmark::RegisterBenchmark(("ListingStamp/" + name).c_str(), BM_ListingStamp, name)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(0.5);
    }
    benchmark::RegisterBenchmark("IndexBuild/walk-50k", BM_WalkIndexBuild)->Unit(benchmark::kMillisecond)->Iterations(3);
}

} // namespace
} // namespace korvane

int main(int argc, char** argv) {
    korvane::registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
