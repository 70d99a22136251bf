// Cost of the usage history with 10,000 entries: loading and saving history.json, and the score
// and last-use lookups the registry makes for every candidate.
#include "base/clock.h"
#include "base/fileio.h"
#include "platform/fake/manualscheduler.h"
#include "platform/fake/manualserialexecutor.h"
#include "registry/historystore.h"
#include "scratchdirectory.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using korvane::FakeClock;
using korvane::HistoryStore;
using korvane::ManualScheduler;
using korvane::ManualSerialExecutor;
using korvane::UsageHistory;

constexpr int kEntries = 10000;

std::vector<std::string> snippetIds() {
    std::vector<std::string> ids;
    ids.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        ids.push_back(i % 2 == 0 ? fmt::format("file:src/module{}/Source_{}.cpp", i % 97, i)
                                 : fmt::format("manual:snippet-{}", i));
    }
    return ids;
}

UsageHistory sampleHistory(const FakeClock& clock) {
    UsageHistory history;
    int i = 0;
    for (const auto& id : snippetIds()) {
        history.entries[id] = {1 + i % 50,
                               korvane::wholeSeconds(clock.now()) - std::chrono::seconds(i * 517)};
        ++i;
    }
    return history;
}

void BM_HistoryLoad(benchmark::State& state) {
    korvane::bench::ScratchDirectory directory;
    FakeClock clock;
    (void)korvane::writeFileAtomically(directory.path() / HistoryStore::fileName,
                                       sampleHistory(clock).encode().value());
    ManualScheduler scheduler;
    for (auto _ : state) {
        auto store = HistoryStore::create(scheduler, clock, directory.path());
        store->load();
        scheduler.runUntilIdle();
        benchmark::DoNotOptimize(store->scoreCache().size());
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_HistoryLoad)->Unit(benchmark::kMillisecond);

// One recorded use and the save it leads to: encoding, the atomic write and its fsync.
void BM_HistorySave(benchmark::State& state) {
    korvane::bench::ScratchDirectory directory;
    FakeClock clock;
    (void)korvane::writeFileAtomically(directory.path() / HistoryStore::fileName,
                                       sampleHistory(clock).encode().value());
    ManualScheduler scheduler;
    auto store = HistoryStore::create(scheduler, clock, directory.path());
    store->load();
    scheduler.runUntilIdle();
    for (auto _ : state) {
        store->recordUsage("manual:snippet-1");
        store->flush();
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_HistorySave)->Unit(benchmark::kMillisecond);

// What a save costs the main thread when the store has a save queue: the copy of the history it hands
// over. The encoding and the write run on the queue, outside the timing.
void BM_HistorySaveQueued(benchmark::State& state) {
    korvane::bench::ScratchDirectory directory;
    FakeClock clock;
    (void)korvane::writeFileAtomically(directory.path() / HistoryStore::fileName,
                                       sampleHistory(clock).encode().value());
    ManualScheduler scheduler;
    scheduler.attachClock(&clock);
    auto queue = std::make_shared<ManualSerialExecutor>();
    auto store = HistoryStore::create(scheduler, clock, directory.path(), queue);
    store->load();
    scheduler.runUntilIdle();
    for (auto _ : state) {
        store->recordUsage("manual:snippet-1");
        scheduler.advance(HistoryStore::saveDelay);
        state.PauseTiming();
        queue->runAll();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_HistorySaveQueued)->Unit(benchmark::kMillisecond);

void BM_HistoryEncode(benchmark::State& state) {
    FakeClock clock;
    const auto history = sampleHistory(clock);
    for (auto _ : state) {
        benchmark::DoNotOptimize(history.encode());
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_HistoryEncode)->Unit(benchmark::kMillisecond);

// Looks up every one of 10,000 ids, half of them never used.
void BM_ScoreLookups(benchmark::State& state) {
    FakeClock clock;
    ManualScheduler scheduler;
    auto store = HistoryStore::create(scheduler, clock, fs::path("/nonexistent"));
    const auto ids = snippetIds();
    for (int i = 0; i < kEntries; i += 2) {
        store->recordUsage(ids[static_cast<std::size_t>(i)]);
    }
    for (auto _ : state) {
        double total = 0;
        for (const auto& id : ids) {
            total += store->frecencyScore(id);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ScoreLookups)->Unit(benchmark::kMicrosecond);

void BM_LastUseLookups(benchmark::State& state) {
    FakeClock clock;
    ManualScheduler scheduler;
    auto store = HistoryStore::create(scheduler, clock, fs::path("/nonexistent"));
    const auto ids = snippetIds();
    for (int i = 0; i < kEntries; i += 2) {
        store->recordUsage(ids[static_cast<std::size_t>(i)]);
    }
    for (auto _ : state) {
        std::size_t found = 0;
        for (const auto& id : ids) {
            found += store->lastUsedDate(id).has_value() ? 1 : 0;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LastUseLookups)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
