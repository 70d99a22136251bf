// Cost of one run of a user's command in a folder the user has not trusted: the reading of the
// configuration it can reach, then the command itself (`true`). In a plain repository, in one where gh
// and VS Code wrote keys of their own (which git's list of the keys it reads lets pass), in one with a
// submodule, in one with five, in one with twenty, in one of 136,000 files, in one whose configuration
// holds 100,000 allowed entries, in crafted ones whose values name 100,000 paths or whose one value holds
// 100,000 or 1,000,000 paths (which may wait for trust rather than run: the time and the peak growth of
// resident memory are what count), and, for comparison, the same command in a trusted folder. A runner
// keeps its decision for a folder while nothing it read there changes: the "FirstReading" cases read the
// folder at every run, the others after the first one only look whether anything changed.
#include "platform/linux/linuxprocessrunner.h"
#include "providers/shellcommandrunner.h"
#include "scratchdirectory.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace {

using korvane::ShellCommandRunner;

// Repositories made once: "plain", "tools" with keys of gh and VS Code, "super" with the submodule "sub",
// "five" and "many" with five and twenty submodules, "large" with 136,000 files in 9,000 folders (in its
// index and HEAD; the work tree holds none), "listing" with 50,000 branches each given a description
// (which a rule allows) and a key gh writes (which git's list lets pass), "paths" with 100,000 entries of a
// key no rule knows each naming a path, "value100000" and "value1000000" with one such value of that many
// short absolute paths (1,000,000 make 22 MB, within the reading's budget).
class BenchRepositories {
public:
    BenchRepositories() {
        setenv("HOME", scratch_.path().c_str(), 1);
        setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
        const std::string script =
            "cd '" + scratch_.path().string() +
            "' && git config --global user.email b@example.invalid && git config --global user.name B"
            // git's automatic gc after the large commit would rewrite git directories for seconds while
            // the runs measure, and every rewrite reads the folder again.
            " && git config --global gc.auto 0"
            " && for r in plain tools src super; do git init -q $r && echo x > $r/a.txt && git -C $r add -A"
            " && git -C $r commit -qm base || exit 1; done"
            // Addresses over the network, as a download's, that reach src here while the submodules are
            // added.
            " && served=\"-c protocol.file.allow=always -c url.$PWD/.insteadOf=https://example.invalid/\""
            " && git -C tools config remote.origin.gh-resolved base"
            " && git -C tools config branch.main.github-pr-owner-number o#r#1"
            " && git -C super $served submodule add -q https://example.invalid/src sub"
            " && git -C super commit -qm sub"
            " && for r in five:5 many:20; do git init -q ${r%:*} && for i in $(seq 1 ${r#*:}); do"
            " git -C ${r%:*} $served submodule add -q https://example.invalid/src sub$i || exit 1; done"
            " && git -C ${r%:*} commit -qm subs || exit 1; done"
            " && git init -q large && b=$(echo x | git -C large hash-object -w --stdin)"
            " && seq 136000 | awk -v b=$b '{ printf \"100644 %s\\tsrc/m%d/d%d/file%d.txt\\n\", b,"
            " $1 % 30, $1 / 15, $1 }' | git -C large update-index --index-info"
            " && git -C large commit -qm large"
            " && git init -q listing && seq 50000 | awk '{ printf \"[branch \\\"b%d\\\"]\\n\\tdescription = "
            "d\\n"
            "\\tgithub-pr-owner-number = %d\\n\", $1, $1 }' >> listing/.git/config"
            " && git init -q paths && seq 100000 | awk '{ printf \"[branch \\\"b%d\\\"]\\n\\tnotes-file = "
            "/usr/share/doc/p%d/notes-%d.md\\n\", $1, $1 % 500, $1 }' >> paths/.git/config"
            " && for n in 100000 1000000; do git init -q value$n && seq $n | awk 'BEGIN { printf "
            "\"[kvtool]\\n\\tcmd"
            " =\" } { printf \" /usr/share/doc/p%d\", $1 } END { print \"\" }' >> value$n/.git/config || "
            "exit 1;"
            " done";
        ok_ = std::system(script.c_str()) == 0;
    }
    std::string root(const char* name) const { return (scratch_.path() / name).string(); }
    bool ok() const { return ok_; }

private:
    korvane::bench::ScratchDirectory scratch_;
    bool ok_ = false;
};

const BenchRepositories& repositories() {
    static const BenchRepositories repos;
    return repos;
}

// A field of /proc/self/status, in KiB.
long statusKiB(std::string_view field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) {
            return std::atol(line.c_str() + field.size());
        }
    }
    return 0;
}

// A command run again and again by one runner, as a live scope runs it at each pause in typing; with
// `firstReading`, each run by a runner of its own, so that the folder is read every time. With `mayWait`,
// a command that waits for trust counts as well as one that runs.
void runCommand(benchmark::State& state, const char* repository, ShellCommandRunner::Folder folder,
                bool firstReading = false, bool mayWait = false) {
    if (!repositories().ok()) {
        state.SkipWithError("the repositories could not be made");
        return;
    }
    auto runner = std::make_unique<ShellCommandRunner>(std::make_shared<korvane::LinuxProcessRunner>());
    const std::string root = repositories().root(repository);
    bool waited = false;
    // A runner that keeps its decision is measured from its second run on: its first is a first reading.
    if (!firstReading) {
        runner->runLive("true", root, "q", "", "", false, 120, folder);
    }
    // From here the high-water mark is where resident memory stands.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKiB("VmRSS:");
    for (auto _ : state) {
        if (firstReading) {
            runner = std::make_unique<ShellCommandRunner>(std::make_shared<korvane::LinuxProcessRunner>());
        }
        const auto result = runner->runLive("true", root, "q", "", "", false, 120, folder);
        waited = result.waitingReason.has_value();
        if (result.status != 0 && !(mayWait && waited)) {
            state.SkipWithError("the command did not run");
            break;
        }
    }
    state.counters["peakGrowthMB"] = static_cast<double>(statusKiB("VmHWM:") - before) / 1024.0;
    state.counters["waited"] = waited ? 1 : 0;
}

void BM_TrustedCommand(benchmark::State& state) {
    runCommand(state, "plain", ShellCommandRunner::Folder::trusted);
}
BENCHMARK(BM_TrustedCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UntrustedCommandPlainRepository(benchmark::State& state) {
    runCommand(state, "plain", ShellCommandRunner::Folder::untrusted);
}
BENCHMARK(BM_UntrustedCommandPlainRepository)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UntrustedCommandWithToolsKeys(benchmark::State& state) {
    runCommand(state, "tools", ShellCommandRunner::Folder::untrusted);
}
BENCHMARK(BM_UntrustedCommandWithToolsKeys)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UntrustedCommandWithSubmodule(benchmark::State& state) {
    runCommand(state, "super", ShellCommandRunner::Folder::untrusted);
}
BENCHMARK(BM_UntrustedCommandWithSubmodule)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UntrustedCommandWithFiveSubmodules(benchmark::State& state) {
    runCommand(state, "five", ShellCommandRunner::Folder::untrusted);
}
BENCHMARK(BM_UntrustedCommandWithFiveSubmodules)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstReadingPlainRepository(benchmark::State& state) {
    runCommand(state, "plain", ShellCommandRunner::Folder::untrusted, true);
}
BENCHMARK(BM_FirstReadingPlainRepository)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstReadingWithFiveSubmodules(benchmark::State& state) {
    runCommand(state, "five", ShellCommandRunner::Folder::untrusted, true);
}
BENCHMARK(BM_FirstReadingWithFiveSubmodules)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UntrustedCommandWithTwentySubmodules(benchmark::State& state) {
    runCommand(state, "many", ShellCommandRunner::Folder::untrusted);
}
BENCHMARK(BM_UntrustedCommandWithTwentySubmodules)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UntrustedCommandLargeRepository(benchmark::State& state) {
    runCommand(state, "large", ShellCommandRunner::Folder::untrusted);
}
BENCHMARK(BM_UntrustedCommandLargeRepository)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstReadingHundredThousandEntries(benchmark::State& state) {
    runCommand(state, "listing", ShellCommandRunner::Folder::untrusted, true);
}
BENCHMARK(BM_FirstReadingHundredThousandEntries)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstReadingHundredThousandPaths(benchmark::State& state) {
    runCommand(state, "paths", ShellCommandRunner::Folder::untrusted, true, true);
}
BENCHMARK(BM_FirstReadingHundredThousandPaths)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UntrustedCommandHundredThousandPaths(benchmark::State& state) {
    runCommand(state, "paths", ShellCommandRunner::Folder::untrusted, false, true);
}
BENCHMARK(BM_UntrustedCommandHundredThousandPaths)->Unit(benchmark::kMillisecond)->UseRealTime();

// One value of state.range(0) paths, read afresh (range(1) = 1) or by a runner that keeps its decision.
void BM_UntrustedCommandOneValueOfPaths(benchmark::State& state) {
    const std::string repository = "value" + std::to_string(state.range(0));
    runCommand(state, repository.c_str(), ShellCommandRunner::Folder::untrusted, state.range(1) == 1, true);
}
BENCHMARK(BM_UntrustedCommandOneValueOfPaths)
    ->ArgNames({"words", "firstReading"})
    ->ArgsProduct({{100000, 1000000}, {1, 0}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
