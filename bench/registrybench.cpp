// Registry search per keystroke over 1k, 10k and 50k snippets whose labels (10 to 80 characters) are
// plain ASCII or, one in four, carry an accented or non-Latin word: typing "config" one character at a time
// (the first keystroke starts over, the others narrow) and every keystroke from scratch, with case ignored
// and respected. Also replacing a 10k-snippet source, and the empty query with 1k history entries.
#include "base/clock.h"
#include "platform/fake/manualscheduler.h"
#include "registry/historystore.h"
#include "registry/historystorereader.h"
#include "registry/snippetregistry.h"
#include "scratchdirectory.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

// The application runs several threads, so it updates shared reference counts atomically; the
// C++ library counts without atomics while a process has one thread. A thread started and joined
// once makes these figures pay what the application pays.
[[maybe_unused]] const bool kCountsAtomically = [] {
    std::thread([] {}).join();
    return true;
}();

const std::vector<std::string> kQueries = {"c", "co", "con", "conf", "confi", "config"};

const std::vector<std::string> kWords = {
    "config",  "controller", "connection", "cache",   "commit",  "main",   "server",  "client",
    "deploy",  "staging",    "release",    "feature", "handler", "view",   "model",   "test",
    "build",   "script",     "update",     "router",  "parser",  "token",  "layout",  "window",
    "history", "format",     "path",       "branch",  "signal",  "theme",  "query",   "result",
    "session", "popup",      "daemon",     "upload",  "login",   "helper", "storage", "index"};
// Words of the labels that are not plain ASCII: accented Latin, Cyrillic, Greek and Japanese.
const std::vector<std::string> kForeignWords = {"Über",       "naïve",   "résumé", "crème",
                                                "Straße",     "façade",  "日本語", "файл",
                                                "παράδειγμα", "cöntrol", "señal",  "données"};
const std::vector<std::string> kSeparators = {"-", "_", "/", ".", " ", ""};
// One label in four carries a word that is not ASCII.
constexpr std::size_t kForeignEvery = 4;

std::vector<Snippet> makeSnippets(std::size_t count, const SnippetSource& source, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> word(0, kWords.size() - 1);
    std::uniform_int_distribution<std::size_t> foreign(0, kForeignWords.size() - 1);
    std::uniform_int_distribution<std::size_t> separator(0, kSeparators.size() - 1);
    std::uniform_int_distribution<std::size_t> length(10, 80);
    std::vector<Snippet> snippets;
    snippets.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t wanted = length(random);
        std::string label = kWords[word(random)];
        while (label.size() < wanted) {
            label += kSeparators[separator(random)] + kWords[word(random)];
        }
        if (i % kForeignEvery == 0) {
            label += kSeparators[separator(random)] + kForeignWords[foreign(random)];
        }
        Snippet snippet;
        snippet.id = fmt::format("bench:{}:{}", seed, i);
        snippet.label = label;
        snippet.expansion = label;
        snippet.source = source;
        snippets.push_back(std::move(snippet));
    }
    return snippets;
}

void reportPercentiles(benchmark::State& state, std::vector<double>& micros) {
    if (micros.empty()) {
        return;
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&](double fraction) {
        return micros[std::min(micros.size() - 1,
                               static_cast<std::size_t>(fraction * static_cast<double>(micros.size())))];
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p95_us"] = at(0.95);
    state.counters["max_us"] = micros.back();
}

double microsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

// Types "config" one keystroke at a time; `fromScratch` forgets the last search before each one.
void typeConfig(benchmark::State& state, SnippetRegistry& registry, const SearchOptions& options,
                bool fromScratch) {
    std::vector<double> keystrokes;
    bool toggle = false;
    std::size_t shown = 0;
    for (auto _ : state) {
        for (const std::string& text : kQueries) {
            if (fromScratch) {
                state.PauseTiming();
                // Forgets the last search without touching the index: no snippet is of this source.
                toggle = !toggle;
                registry.setDisabledSources(toggle ? std::unordered_set{SnippetSource::envVar()}
                                                   : std::unordered_set<SnippetSource>{});
                state.ResumeTiming();
            }
            const auto start = std::chrono::steady_clock::now();
            const SearchResponse response = registry.search(ParsedQuery::plain(text), options);
            keystrokes.push_back(microsSince(start));
            shown += response.results.size();
        }
    }
    benchmark::DoNotOptimize(shown);
    reportPercentiles(state, keystrokes);
    state.counters["shown"] =
        static_cast<double>(shown) / static_cast<double>(std::max<std::size_t>(keystrokes.size(), 1));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kQueries.size()));
}

// Arguments: snippet count, case-sensitive (0 or 1), from scratch (0 or 1).
void BM_TypeConfig(benchmark::State& state) {
    SnippetRegistry registry;
    registry.updateSnippets(SnippetSource::manual(), makeSnippets(static_cast<std::size_t>(state.range(0)),
                                                                  SnippetSource::manual(), 1));
    typeConfig(state, registry, SearchOptions{state.range(1) != 0}, state.range(2) != 0);
}
BENCHMARK(BM_TypeConfig)
    ->ArgNames({"snippets", "caseSensitive", "fromScratch"})
    ->ArgsProduct({{1000, 10000, 50000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_UpdateSource10k(benchmark::State& state) {
    SnippetRegistry registry;
    registry.updateSnippets(SnippetSource::manual(), makeSnippets(1000, SnippetSource::manual(), 2));
    const std::vector<Snippet> snippets = makeSnippets(10000, SnippetSource::filePath(), 3);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Snippet> copy = snippets;
        state.ResumeTiming();
        registry.updateSnippets(SnippetSource::filePath(), std::move(copy));
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_UpdateSource10k)->Unit(benchmark::kMillisecond);

// A registry of `count` snippets, 1k of them used before, spread evenly over the index, ranking with
// a real usage history kept in a private directory.
struct RegistryWithHistory {
    RegistryWithHistory(std::size_t count, unsigned seed) {
        const auto snippets = makeSnippets(count, SnippetSource::manual(), seed);
        for (std::size_t i = 0; i < 1000; ++i) {
            store->recordUsage(snippets[i * count / 1000].id);
        }
        registry.updateSnippets(SnippetSource::manual(), snippets);
        registry.historyStore = std::make_shared<HistoryStoreReader>(store);
    }

    korvane::bench::ScratchDirectory directory;
    ManualScheduler scheduler;
    std::shared_ptr<HistoryStore> store =
        HistoryStore::create(scheduler, SystemClock::shared(), directory.path());
    SnippetRegistry registry;
};

// As the application types: 10k snippets with a history, case ignored, narrowing.
void BM_TypeConfigWithHistory(benchmark::State& state) {
    RegistryWithHistory used(10000, 1);
    typeConfig(state, used.registry, SearchOptions{}, false);
}
BENCHMARK(BM_TypeConfigWithHistory)->Unit(benchmark::kMillisecond);

// Argument: snippet count.
void BM_EmptyQueryWithHistory(benchmark::State& state) {
    RegistryWithHistory used(static_cast<std::size_t>(state.range(0)), 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(used.registry.search(ParsedQuery::plain(""), {}).results.size());
    }
}
BENCHMARK(BM_EmptyQueryWithHistory)->ArgName("snippets")->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_BuildSectionsWithHistory(benchmark::State& state) {
    RegistryWithHistory used(10000, 5);
    for (auto _ : state) {
        const SectionBuilder builder = used.registry.makeSectionBuilder(std::nullopt);
        benchmark::DoNotOptimize(builder.buildSections(defaultActiveCategories()).size());
    }
}
BENCHMARK(BM_BuildSectionsWithHistory)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
