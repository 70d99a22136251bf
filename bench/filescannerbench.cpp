// One project scan of the file scanner with both extractors: over a generated tree of 50,000 files
// and over a copy of /usr/include, each walked and listed through git (which also leaves the listing
// with the broker, as in a real scan). Peak resident memory of the process and of its children (git)
// are reported as counters.
#include "files/gitlsfilesbroker.h"
#include "files/gitscanlister.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/filescanner.h"
#include "providers/projectproviderfactories.h"
#include "scratchdirectory.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

korvane::bench::ScratchDirectory& scratch() {
    static korvane::bench::ScratchDirectory dir;
    return dir;
}

bool run(const fs::path& dir, const std::string& command) {
    return std::system(("cd '" + dir.string() + "' && " + command + " >/dev/null 2>&1").c_str()) == 0;
}

void gitInit(const fs::path& dir) {
    run(dir, "git init -q && git -c core.fsmonitor=false add -A && git -c user.email=b@example.invalid "
             "-c user.name=B commit -qm tree");
}

// 50 top folders of 20 folders of 50 files, with a readme and a skill now and then.
const fs::path& generatedTree(bool withGit) {
    static const fs::path walkRoot = [] {
        const fs::path root = scratch().path() / "generated-walk";
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
        return root;
    }();
    if (!withGit) {
        return walkRoot;
    }
    static const fs::path gitRoot = [] {
        const fs::path root = scratch().path() / "generated-git";
        fs::copy(walkRoot, root, fs::copy_options::recursive);
        gitInit(root);
        return root;
    }();
    return gitRoot;
}

const fs::path& realTree(bool withGit) {
    static const fs::path walkRoot = [] {
        const fs::path root = scratch().path() / "include-walk";
        fs::copy("/usr/include", root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        return root;
    }();
    if (!withGit) {
        return walkRoot;
    }
    static const fs::path gitRoot = [] {
        const fs::path root = scratch().path() / "include-git";
        fs::copy(walkRoot, root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        gitInit(root);
        return root;
    }();
    return gitRoot;
}

void scan(benchmark::State& state, const fs::path& root, bool withGit) {
    const auto broker = std::make_shared<korvane::GitLsFilesBroker>(korvane::SystemClock::shared());
    const auto lister =
        withGit ? korvane::GitScanLister(std::make_shared<korvane::LinuxProcessRunner>(), broker).lister()
                : korvane::FileScanner::GitLister();
    const korvane::FileScanner scanner(
        korvane::makeFileExtractors({korvane::SnippetSource::claudeSkill(), korvane::SnippetSource::aiDoc()}),
        {"node_modules"}, 12, lister, 1000000);
    std::size_t found = 0;
    for (auto _ : state) {
        auto snippets = scanner.scan(root.string());
        found = snippets.size();
        benchmark::DoNotOptimize(snippets);
        broker->clear();
    }
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    state.counters["snippets"] = static_cast<double>(found);
    state.counters["peakRssMB"] = static_cast<double>(self.ru_maxrss) / 1024.0;
    state.counters["gitPeakRssMB"] = static_cast<double>(children.ru_maxrss) / 1024.0;
}

void BM_ScanGenerated50kWalk(benchmark::State& state) { scan(state, generatedTree(false), false); }
void BM_ScanGenerated50kGit(benchmark::State& state) { scan(state, generatedTree(true), true); }
void BM_ScanUsrIncludeWalk(benchmark::State& state) { scan(state, realTree(false), false); }
void BM_ScanUsrIncludeGit(benchmark::State& state) { scan(state, realTree(true), true); }

BENCHMARK(BM_ScanGenerated50kWalk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanGenerated50kGit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanUsrIncludeWalk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanUsrIncludeGit)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
