// Matching one query against every file path under /usr (about 136k relative paths), the size of a
// large project's file index: the plain-string entry point the file ranker uses and the prepared-label
// entry point the registry uses, per kind of query, on ASCII paths and on the same paths with accents.

#include "matcher/matcher.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace korvane {
namespace {

std::vector<std::string> collectPaths() {
    const std::filesystem::path root = "/usr";
    std::vector<std::string> paths;
    std::error_code error;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (auto it = std::filesystem::recursive_directory_iterator(root, options, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (error) {
            break;
        }
        // Regular files only, not links to them, as `find -type f` lists them for the peers.
        if (!it->is_symlink(error) && it->is_regular_file(error) && !error) {
            paths.push_back(it->path().lexically_relative(root).string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The same paths with every "e" and "o" of the file name accented, so that each label takes the
// Unicode path while keeping the shape of real paths.
std::string accented(const std::string& path) {
    std::string result;
    const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i >= nameStart && path[i] == 'e') {
            result += "é";
        } else if (i >= nameStart && path[i] == 'o') {
            result += "ö";
        } else {
            result += path[i];
        }
    }
    return result;
}

struct Corpus {
    std::vector<std::string> paths;
    std::vector<IndexedSnippet> indexed;
};

Corpus makeCorpus(bool unicode) {
    static const std::vector<std::string> asciiPaths = collectPaths();
    Corpus corpus;
    corpus.paths.reserve(asciiPaths.size());
    for (const std::string& path : asciiPaths) {
        corpus.paths.push_back(unicode ? accented(path) : path);
    }
    corpus.indexed.reserve(corpus.paths.size());
    for (const std::string& path : corpus.paths) {
        corpus.indexed.emplace_back(path);
    }
    return corpus;
}

const Corpus& corpus(bool unicode) {
    if (unicode) {
        static const Corpus accentedCorpus = makeCorpus(true);
        return accentedCorpus;
    }
    static const Corpus asciiCorpus = makeCorpus(false);
    return asciiCorpus;
}

struct QueryKind {
    const char* name;
    const char* ascii;
    const char* unicode;
};

// Queries chosen so that each kind decides most of its matches on /usr: "share" opens most paths,
// "python" starts many path segments, "ytho" only occurs inside words, "shdc" is a tight
// subsequence, "zqxjv" matches nothing (every 5-character file name still runs the typo test) and
// "confgi" is a typo of "config".
const QueryKind queryKinds[] = {
    {"prefix", "share", "share"}, {"wordBoundary", "python", "pythön"}, {"substring", "ytho", "ythö"},
    {"fuzzy", "shdc", "shdc"},    {"noMatch", "zqxjv", "zqxjvé"},       {"typo", "confgi", "cönfgi"},
};

void reportPass(benchmark::State& state, std::size_t candidates, std::size_t matches) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * candidates));
    state.counters["paths"] = static_cast<double>(candidates);
    state.counters["matches"] = static_cast<double>(matches);
    state.counters["s/path"] =
        benchmark::Counter(static_cast<double>(candidates),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void fuzzyMatchPass(benchmark::State& state, const QueryKind& kind, bool unicode) {
    const Corpus& paths = corpus(unicode);
    const std::string query = unicode ? kind.unicode : kind.ascii;
    std::size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (const std::string& path : paths.paths) {
            matches += fuzzyMatch(query, path, false).has_value() ? 1 : 0;
        }
        benchmark::DoNotOptimize(matches);
    }
    reportPass(state, paths.paths.size(), matches);
}

// How many paths ahead a pass asks for the clusters it will match.
constexpr std::size_t kPrefetchDistance = 8;

void matchIndexedPass(benchmark::State& state, const QueryKind& kind, bool unicode) {
    const Corpus& paths = corpus(unicode);
    const PreparedQuery prepared(unicode ? kind.unicode : kind.ascii, false);
    std::size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        // As the registry's passes do, a query of clusters asks for the clusters of a path ahead.
        const std::size_t count = paths.indexed.size();
        for (std::size_t i = 0; i < count; ++i) {
            if (!prepared.isBytes() && i + kPrefetchDistance < count) {
                prefetchClusters(paths.indexed[i + kPrefetchDistance]);
            }
            matches += matchIndexed(prepared, paths.indexed[i]).has_value() ? 1 : 0;
        }
        benchmark::DoNotOptimize(matches);
    }
    reportPass(state, paths.indexed.size(), matches);
}

// What any matcher pays at least: copying every path once and searching it for the query. Shared
// machines vary; the matcher's figures are best read against this one from the same run.
void baselinePass(benchmark::State& state) {
    const Corpus& paths = corpus(false);
    const std::string_view query = "zqxjv";
    std::string buffer;
    std::size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (const std::string& path : paths.paths) {
            buffer.assign(path);
            matches += buffer.find(query) != std::string::npos ? 1 : 0;
        }
        benchmark::DoNotOptimize(matches);
    }
    reportPass(state, paths.paths.size(), matches);
}

void registerAll() {
    benchmark::RegisterBenchmark("baseline/copyAndFind/ascii", baselinePass)->Unit(benchmark::kMillisecond);
    for (const bool unicode : {false, true}) {
        for (const QueryKind& kind : queryKinds) {
            const std::string suffix = std::string(kind.name) + (unicode ? "/unicode" : "/ascii");
            benchmark::RegisterBenchmark(("fuzzyMatch/" + suffix).c_str(), fuzzyMatchPass, kind, unicode)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("matchIndexed/" + suffix).c_str(), matchIndexedPass, kind, unicode)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

} // namespace
} // namespace korvane

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    korvane::registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
