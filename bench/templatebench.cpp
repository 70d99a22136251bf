// Placeholder expansion of texts a project file may hold: many date placeholders in one text, a
// 16 MB text of custom-pattern dates, a resolver name whose text is full of dates used 300 times,
// and many clipboard placeholders with a 2 MiB clipboard; and 16 MB texts made to defeat the caches
// (a new date pattern in every placeholder, fresh UUIDs, names only a resolver could know). Each
// expansion must stay far below 100 ms.
#include "platform/fake/fakepasteboard.h"
#include "registry/templateexpansion.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace korvane {
namespace {

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TemplateProviders fixedProviders(const std::string& clipboard) {
    return TemplateProviders{
        .now = [] { return std::chrono::system_clock::time_point(std::chrono::seconds(1772787900)); },
        .clipboard = [&clipboard] { return clipboard; },
        .uuid = [] { return std::string("00000000-0000-4000-8000-000000000000"); },
    };
}

void expandEach(benchmark::State& state, const std::string& text, const TemplateProviders& providers,
                const TemplateResolver& resolver = {}) {
    std::size_t outputBytes = 0;
    for (auto _ : state) {
        const auto result = expandTemplate(text, providers, resolver);
        outputBytes = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    state.counters["inputBytes"] = static_cast<double>(text.size());
    state.counters["outputBytes"] = static_cast<double>(outputBytes);
}

void BM_ManyDates(benchmark::State& state) {
    const std::string clipboard;
    expandEach(state, repeated("{{date}}", 100000), fixedProviders(clipboard));
}
BENCHMARK(BM_ManyDates)->Unit(benchmark::kMillisecond);

void BM_SixteenMegabytesOfEmptyPatterns(benchmark::State& state) {
    const std::string clipboard;
    expandEach(state, repeated("{{date:}}", (16u << 20) / 9), fixedProviders(clipboard));
}
BENCHMARK(BM_SixteenMegabytesOfEmptyPatterns)->Unit(benchmark::kMillisecond);

void BM_ResolverNameFullOfDates(benchmark::State& state) {
    const std::string clipboard;
    const std::string dates = repeated("{{date}}", 20000);
    const TemplateResolver resolver = [&dates](const std::string& name) -> const std::string* {
        return name == "d" ? &dates : nullptr;
    };
    expandEach(state, repeated("{{d}}", 300), fixedProviders(clipboard), resolver);
}
BENCHMARK(BM_ResolverNameFullOfDates)->Unit(benchmark::kMillisecond);

void BM_LargeClipboardManyTimes(benchmark::State& state) {
    const std::string clipboard(2u << 20, 'c');
    expandEach(state, repeated("{{clipboard}}", 2000), fixedProviders(clipboard));
}
BENCHMARK(BM_LargeClipboardManyTimes)->Unit(benchmark::kMillisecond);

std::string sixteenMegabytesOf(const std::function<std::string(std::size_t)>& piece) {
    std::string text;
    for (std::size_t i = 0; text.size() < (16u << 20); ++i) {
        text += piece(i);
    }
    return text;
}

void BM_SixteenMegabytesOfDistinctPatterns(benchmark::State& state) {
    const std::string clipboard;
    expandEach(state,
               sixteenMegabytesOf([](std::size_t i) { return "{{date:'" + std::to_string(i) + "'}}"; }),
               fixedProviders(clipboard));
}
BENCHMARK(BM_SixteenMegabytesOfDistinctPatterns)->Unit(benchmark::kMillisecond);

void BM_OneLongPattern(benchmark::State& state) {
    const std::string clipboard;
    expandEach(state, "{{date:" + repeated("yyyy-", (15u << 20) / 5) + "}}", fixedProviders(clipboard));
}
BENCHMARK(BM_OneLongPattern)->Unit(benchmark::kMillisecond);

void BM_ResolverTextsSharingALongPattern(benchmark::State& state) {
    // The real clock: each resolver text takes its own instant and formats the pattern again.
    const std::string clipboard;
    auto providers = fixedProviders(clipboard);
    providers.now = [] { return std::chrono::system_clock::now(); };
    const std::string text = "{{date:" + std::string(100, 'y') + "}}";
    const TemplateResolver resolver = [&text](const std::string& name) -> const std::string* {
        return name == "d" ? &text : nullptr;
    };
    expandEach(state, repeated("{{d}}", 60000), providers, resolver);
}
BENCHMARK(BM_ResolverTextsSharingALongPattern)->Unit(benchmark::kMillisecond);

void BM_SixteenMegabytesOfUuids(benchmark::State& state) {
    FakePasteboard pasteboard;
    auto providers = defaultTemplateProviders(pasteboard);
    expandEach(state, sixteenMegabytesOf([](std::size_t) { return std::string("{{uuid}}"); }), providers);
}
BENCHMARK(BM_SixteenMegabytesOfUuids)->Unit(benchmark::kMillisecond);

void BM_SixteenMegabytesOfResolverNames(benchmark::State& state) {
    const std::string clipboard;
    static const std::string empty;
    const TemplateResolver resolver = [](const std::string& name) -> const std::string* {
        return name == "x" ? &empty : nullptr;
    };
    expandEach(state, sixteenMegabytesOf([](std::size_t i) { return i % 2 == 0 ? "{{x}}" : "{{y}}"; }),
               fixedProviders(clipboard), resolver);
}
BENCHMARK(BM_SixteenMegabytesOfResolverNames)->Unit(benchmark::kMillisecond);

// A project file of nested references to large texts: "d" is a megabyte of "{{e}}", and "e" is a
// megabyte of its own. Each reference's size is charged before its text is read, so once the budget
// is spent the rest costs a lookup each, never a copy.
void BM_NestedReferencesToLargeTexts(benchmark::State& state) {
    const std::string clipboard;
    const std::string outer = repeated("{{e}}", (1u << 20) / 5);
    const std::string inner(1u << 20, 'x');
    const TemplateResolver resolver = [&](const std::string& name) -> const std::string* {
        return name == "d" ? &outer : name == "e" ? &inner : nullptr;
    };
    expandEach(state, repeated("{{d}}", 8), fixedProviders(clipboard), resolver);
}
BENCHMARK(BM_NestedReferencesToLargeTexts)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
