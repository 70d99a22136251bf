// Cost of the git sources on a repository with 5,000 tags, 40 branches, 400 files and a working tree
// with changes: one blocking build of the recent files snapshot (status, show-prefix and log), the
// branch listing alone, and the whole ref provider (branches and tags).
#include "files/gitcommandrunner.h"
#include "files/gitproviderfactories.h"
#include "files/gitrefprovider.h"
#include "files/recentfilestracker.h"
#include "platform/fake/manualworkerpool.h"
#include "platform/linux/linuxprocessrunner.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A repository made once in a temporary folder and removed at exit.
class BenchRepository {
public:
    BenchRepository() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-gitbench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        setenv("HOME", path_.c_str(), 1);
        setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
        setenv("LC_ALL", "C", 1);
        const std::string script =
            "cd '" + path_.string() +
            "' && git init -q && git config user.email b@example.invalid && git config user.name B"
            " && for d in 0 1 2 3 4 5 6 7 8 9; do mkdir -p src/m$d && for f in $(seq 1 40); do"
            " echo $f > src/m$d/file$f.txt; done; done"
            " && git add -A && git commit -qm base"
            " && for b in $(seq 1 40); do git branch -q topic-$b; done"
            " && for i in 1 2 3 4 5 6 7 8; do echo $i >> src/m$i/file$i.txt && git commit -qam \"change "
            "$i\"; done"
            " && h=$(git rev-parse HEAD) && seq 1 5000 | awk -v h=$h '{print h \" "
            "refs/tags/release-candidate-build-\" "
            "$1}' >> .git/packed-refs"
            " && echo edit >> src/m0/file1.txt && echo new > 'src/m1/new file.txt' && git mv "
            "src/m2/file2.txt "
            "src/m2/moved.txt";
        ok_ = std::system(script.c_str()) == 0;
    }
    ~BenchRepository() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    std::string root() const { return path_.string(); }
    bool ok() const { return ok_; }

private:
    std::filesystem::path path_;
    bool ok_ = false;
};

const BenchRepository& repository() {
    static const BenchRepository repo;
    return repo;
}

std::shared_ptr<korvane::ProcessRunner> processRunner() {
    static const auto runner = std::make_shared<korvane::LinuxProcessRunner>();
    return runner;
}

void BM_RecentFilesSnapshotBuild(benchmark::State& state) {
    const auto& repo = repository();
    if (!repo.ok()) {
        state.SkipWithError("the repository could not be made");
        return;
    }
    const korvane::GitCommandRunner git(processRunner());
    korvane::ManualWorkerPool workers;
    for (auto _ : state) {
        const auto tracker = std::make_shared<korvane::RecentFilesTracker>(korvane::SystemClock::shared(),
                                                                           git.commandRunner(), workers);
        tracker->setIndexInfoProvider([](const std::string&) {
            return korvane::RecentFilesTracker::IndexInfo{true, true, {}};
        });
        const auto snapshot = tracker->snapshot(repo.root());
        if (snapshot.gitUncommitted.size() != 3 || snapshot.gitRecentlyCommitted.empty()) {
            state.SkipWithError("unexpected snapshot");
            break;
        }
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_RecentFilesSnapshotBuild)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GitBranchListing(benchmark::State& state) {
    const auto& repo = repository();
    const korvane::GitRefProvider provider(90, korvane::quietGitRunner(processRunner()));
    for (auto _ : state) {
        const auto branches = provider.branchSnippets(repo.root(), 90);
        if (branches.size() != 41) {
            state.SkipWithError("unexpected branch count");
            break;
        }
        benchmark::DoNotOptimize(branches);
    }
}
BENCHMARK(BM_GitBranchListing)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GitRefProviderBranchesAndTags(benchmark::State& state) {
    const auto& repo = repository();
    korvane::GitRefProvider provider(90, korvane::quietGitRunner(processRunner()));
    for (auto _ : state) {
        const auto refs = provider.snippets(repo.root());
        if (refs.size() != 5041) {
            state.SkipWithError("unexpected ref count");
            break;
        }
        benchmark::DoNotOptimize(refs);
    }
}
BENCHMARK(BM_GitRefProviderBranchesAndTags)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
