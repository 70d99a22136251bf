// Per-key cost of the trigger detector, which runs inside the keyboard event path.
#include "input/triggerdetector.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using korvane::TriggerDetector;
namespace Key = korvane::keycode;

constexpr std::uint16_t kLetter = 0;

// A handler that does as little as the shell's, which only posts to the main thread.
TriggerDetector::EventHandler counting(std::size_t& sink) {
    return [&sink](const korvane::SessionEvent& event) {
        if (const auto* update = std::get_if<korvane::sessionevent::QueryUpdated>(&event)) {
            sink += update->query.size();
        } else {
            ++sink;
        }
    };
}

void BM_IdleKey(benchmark::State& state) {
    TriggerDetector detector;
    const std::optional<std::string> letter = "a";
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.processKey(kLetter, letter, 0));
    }
}
BENCHMARK(BM_IdleKey);

void BM_ActivateAndReset(benchmark::State& state) {
    std::size_t sink = 0;
    TriggerDetector detector(counting(sink));
    const std::optional<std::string> semicolon = ";";
    for (auto _ : state) {
        detector.processKey(kLetter, semicolon, 0);
        benchmark::DoNotOptimize(detector.processKey(kLetter, semicolon, 0));
        detector.reset();
    }
    benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_ActivateAndReset);

// One typed character and one Backspace in a session whose query is `range(0)` bytes long.
void typeAndErase(benchmark::State& state, const std::string& character) {
    std::size_t sink = 0;
    TriggerDetector detector(counting(sink));
    detector.processKey(kLetter, ";;", 0);
    detector.processKey(kLetter, std::string(static_cast<std::size_t>(state.range(0)), 'q'), 0);
    const std::optional<std::string> typed = character;
    for (auto _ : state) {
        detector.processKey(kLetter, typed, 0);
        benchmark::DoNotOptimize(detector.processKey(Key::backspace, std::nullopt, 0));
    }
    benchmark::DoNotOptimize(sink);
}

void BM_TypeAndEraseAscii(benchmark::State& state) {
    typeAndErase(state, "a");
}
BENCHMARK(BM_TypeAndEraseAscii)->Arg(0)->Arg(32)->Arg(62);

void BM_TypeAndEraseEmoji(benchmark::State& state) {
    typeAndErase(state, "\U0001F468\u200D\U0001F469\u200D\U0001F467");
}
BENCHMARK(BM_TypeAndEraseEmoji)->Arg(0)->Arg(32);

} // namespace

BENCHMARK_MAIN();
