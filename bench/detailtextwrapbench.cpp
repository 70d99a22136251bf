// Wrapping a 256 KiB text for the detail panel's body at its usual 28 characters, in the shapes a
// preview takes: one minified line, one line without a space, one line of accented and CJK text, one
// line of code with an accent now and then, many short lines, one line of spaces, 262,144 empty lines,
// 262,144 lines ended by CR LF (each pair leaves an empty line), a Latin-1 file read as UTF-8 (every
// accent an invalid byte), random bytes, one line where every letter carries a combining mark, and
// one where a control stands before every mark. Each run prints its time against the 10 ms target.

#include "detail/detailtextwrap.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <random>
#include <string>

namespace korvane {
namespace {

constexpr std::size_t textBytes = 262'144;
constexpr int width = 28;
constexpr double targetMilliseconds = 10.0;

// `piece` repeated up to 256 KiB, cut at a piece boundary so that no character is split.
std::string repeated(const std::string& piece) {
    std::string text;
    while (text.size() + piece.size() <= textBytes) {
        text += piece;
    }
    return text;
}

// 256 KiB of bytes from a fixed generator, as a binary file shows: mostly not UTF-8, its ASCII line
// breaks made spaces.
std::string randomBytes() {
    std::string text(textBytes, ' ');
    std::mt19937 random(7);
    for (char& byte : text) {
        byte = static_cast<char>(random());
        if (byte >= '\n' && byte <= '\r') {
            byte = ' ';
        }
    }
    return text;
}

void BM_Wrap256KiB(benchmark::State& state, const std::string& text) {
    double total = 0;
    std::size_t lines = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto wrapped = wrapText(text, width);
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        lines = wrapped.size();
        benchmark::DoNotOptimize(wrapped.data());
    }
    const double mean = total / static_cast<double>(state.iterations());
    state.counters["ms"] = mean;
    state.counters["target_ms"] = targetMilliseconds;
    state.counters["met"] = mean <= targetMilliseconds ? 1 : 0;
    state.counters["lines"] = static_cast<double>(lines);
}

BENCHMARK_CAPTURE(BM_Wrap256KiB, one_minified_line, repeated("var a=function(b){return b+1}; if(x) y();"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, one_line_without_spaces, repeated("abcdefghijklmnopqrstuvwxyz0123456789"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, one_line_accents_and_cjk,
                  repeated("cafe\xCC\x81 \xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\xA8 na\xC3\xAFve words "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, one_line_one_accent_per_piece,
                  repeated("var a=function(b){return b+1}; if(x) y(); // caf\xC3\xA9 "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, many_lines,
                  repeated("    const auto value = compute(first, second, third); // and a comment\n"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, one_line_of_spaces, repeated(" "))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, empty_lines, repeated("\n"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, crlf_lines, repeated("\r\n"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, one_line_invalid_utf8,
                  repeated("caf\xE9 na\xEFve r\xE9sum\xE9 \xE0 la fa\xE7on \xFF\x80 "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, random_bytes, randomBytes())->Unit(benchmark::kMillisecond);
// A hex escape runs on over every hex digit after it, so a letter that follows one is a literal of its
// own.
BENCHMARK_CAPTURE(BM_Wrap256KiB, one_line_every_letter_accented,
                  repeated("a\xCC\x81"
                           "e\xCC\x80 "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Wrap256KiB, one_line_control_before_every_mark, repeated("a\xCC\x1E\xCC\x80 "))
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
