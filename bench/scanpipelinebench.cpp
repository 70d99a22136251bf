// A whole project scan through the scan pipeline over a generated git repository of 50,000 files with
// every provider this build has (file scanner with skills and documents through git, global skills,
// git branches, tags and remotes, npm scripts, make targets, manual snippets, and a custom command run through /bin/sh): the time to
// the first results in the registry and to the final application, and the peak resident memory.
// Providers run on the pipeline's own scan pool; results come back to a small main loop.
#include "base/scheduler.h"
#include "platform/linux/threadworkerpool.h"
#include "files/gitcommandrunner.h"
#include "files/gitlsfilesbroker.h"
#include "files/gitrefprovider.h"
#include "files/gitremoteprovider.h"
#include "files/gitscanlister.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/customprovider.h"
#include "providers/filescanner.h"
#include "providers/globalskillprovider.h"
#include "providers/maketargetprovider.h"
#include "providers/manualsnippetprovider.h"
#include "providers/npmscriptprovider.h"
#include "providers/projectproviderfactories.h"
#include "registry/snippetregistry.h"
#include "search/scanpipeline.h"
#include "scratchdirectory.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

// The main thread of the benchmark: tasks posted from any thread run on the thread that calls runUntil.
class BenchLoop final : public korvane::Scheduler {
public:
    void post(Task task) override {
        {
            std::lock_guard lock(mutex_);
            timers_.emplace(std::make_pair(Steady::now(), sequence_++), std::move(task));
        }
        wake_.notify_one();
    }
    korvane::CancellationToken postAfter(double seconds, Task task) override {
        korvane::CancellationToken token;
        {
            std::lock_guard lock(mutex_);
            const auto due = Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
            timers_.emplace(std::make_pair(due, sequence_++), [token, task = std::move(task)] {
                if (!token.isCancelled()) {
                    task();
                }
            });
        }
        wake_.notify_one();
        return token;
    }
    korvane::CancellationToken runInBackground(korvane::TaskPriority, Job job) override {
        korvane::CancellationToken token;
        post([token, job = std::move(job)] { job(token); });
        return token;
    }
    korvane::CancellationToken watchReadable(int, Task) override { return {}; }

    void runUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !timers_.empty() && timers_.begin()->first.first <= Steady::now(); });
            auto node = timers_.extract(timers_.begin());
            lock.unlock();
            node.mapped()();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t sequence_ = 0;
    std::map<std::pair<Steady::time_point, std::uint64_t>, Task> timers_;
};

// 50 top folders of 20 folders of 50 files, a skill per top folder, the project files every provider
// reads, committed to git.
const fs::path& repository() {
    static korvane::bench::ScratchDirectory scratch;
    static const fs::path root = [] {
        const fs::path root = scratch.path() / "repo";
        for (int a = 0; a < 50; ++a) {
            for (int b = 0; b < 20; ++b) {
                const fs::path dir = root / ("pkg" + std::to_string(a)) / ("mod" + std::to_string(b));
                fs::create_directories(dir);
                for (int c = 0; c < 50; ++c) {
                    std::ofstream(dir / ("file" + std::to_string(c) + ".c")) << "int x;\n";
                }
            }
            fs::create_directories(root / ".claude/skills" / std::to_string(a));
            std::ofstream(root / ".claude/skills" / std::to_string(a) / "SKILL.md") << "---\nname: s" << a << "\n---\n";
        }
        std::ofstream(root / "README.md") << "# Generated\n";
        std::ofstream(root / "CLAUDE.md") << "# Agents\n";
        std::ofstream(root / "package.json") << R"({"scripts": {"build": "tsc", "test": "jest", "lint": "eslint ."}})";
        std::ofstream(root / "Makefile") << "all:\n\techo\ntest:\n\techo\n";
        std::system(("cd '" + root.string() +
                     "' && git init -q && git -c core.fsmonitor=false add -A && git -c user.email=b@example.invalid "
                     "-c user.name=B commit -qm tree >/dev/null 2>&1")
                        .c_str());
        return root;
    }();
    return root;
}

// The listings the scan leaves for a file index that these runs never build.
const std::shared_ptr<korvane::GitLsFilesBroker>& listings() {
    static const auto broker = std::make_shared<korvane::GitLsFilesBroker>(korvane::SystemClock::shared());
    return broker;
}

std::vector<std::shared_ptr<korvane::SnippetProvider>> allProviders() {
    using namespace korvane;
    auto processes = std::make_shared<LinuxProcessRunner>();
    std::vector<std::shared_ptr<SnippetProvider>> providers;
    ManualSnippet manual;
    manual.key = "sig";
    manual.expand = "Regards";
    providers.push_back(std::make_shared<ManualSnippetProvider>(std::vector<ManualSnippet>{manual}));
    providers.push_back(std::make_shared<FileScanner>(
        makeFileExtractors({SnippetSource::claudeSkill(), SnippetSource::aiDoc()}), skippedDirectories(), 5,
        GitScanLister(processes, listings()).lister()));
    providers.push_back(std::make_shared<GlobalSkillProvider>(GlobalSkillProvider::defaultRoots()));
    const GitCommandRunner git(processes, GitCommandRunner::Mode::logged);
    providers.push_back(std::make_shared<GitRefProvider>(90, git.commandRunner()));
    providers.push_back(std::make_shared<GitRemoteProvider>(git.commandRunner()));
    providers.push_back(std::make_shared<NpmScriptProvider>());
    providers.push_back(std::make_shared<MakeTargetProvider>());
    CustomProviderConfig custom;
    custom.id = "tools";
    custom.label = "Tools";
    custom.command = "printf 'hammer\\thammer\\nsaw\\tsaw\\n'";
    custom.ttl = 0;
    providers.push_back(CustomProvider::make(custom, {}, std::make_shared<ShellCommandRunner>(processes)));
    return providers;
}

void BM_ScanPipeline50kGitRepository(benchmark::State& state) {
    const std::string root = repository().string();
    korvane::ThreadWorkerPool pool("korvane-scan", 16);
    BenchLoop loop;
    double firstTotal = 0;
    double finalTotal = 0;
    std::size_t snippets = 0;
    for (auto _ : state) {
        listings()->clear();
        auto registry = std::make_shared<korvane::SnippetRegistry>();
        auto pipeline = std::make_shared<korvane::ScanPipeline>(registry, loop, pool);
        pipeline->providers = allProviders();
        const auto start = Steady::now();
        std::optional<Steady::time_point> first;
        bool completed = false;
        pipeline->onScanProgress = [&](std::size_t count) {
            if (!first && count > 0) {
                first = Steady::now();
            }
        };
        pipeline->onScanCompleted = [&] { completed = true; };
        pipeline->scanProject(root);
        loop.runUntil([&] { return completed; });
        const auto end = Steady::now();
        const double total = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(total);
        firstTotal += std::chrono::duration<double, std::milli>(first.value_or(end) - start).count();
        finalTotal += total * 1000.0;
        snippets = registry->indexedSnippets().size();
    }
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    const double runs = static_cast<double>(state.iterations());
    state.counters["firstResultsMs"] = firstTotal / runs;
    state.counters["finalMs"] = finalTotal / runs;
    state.counters["snippets"] = static_cast<double>(snippets);
    state.counters["peakRssMB"] = static_cast<double>(self.ru_maxrss) / 1024.0;
    state.counters["childPeakRssMB"] = static_cast<double>(children.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_ScanPipeline50kGitRepository)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

} // namespace

BENCHMARK_MAIN();
