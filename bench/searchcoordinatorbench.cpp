// One completion session typed a character at a time ("src/conf") over 10,000 snippets and a
// 136,000-path file index: the time from a keystroke to the updated popup state, first for the
// registry answer shown at once, then including the file matches merged 50 ms (virtual) later.
// Reports p50, p95 and the maximum per keystroke, and the view model's change notifications per
// keystroke (each one a synchronous relayout of the views). Run pinned to one core (taskset -c N).

#include "base/clock.h"
#include "config/categorycatalog.h"
#include "files/filepathprovider.h"
#include "platform/fake/fakecaretlocator.h"
#include "platform/fake/fakefocusedwindowframe.h"
#include "platform/fake/fakepointerlocation.h"
#include "platform/fake/fakepopupsurfacewindow.h"
#include "platform/fake/fakescreenlist.h"
#include "platform/fake/manualscheduler.h"
#include "platform/fake/manualworkerpool.h"
#include "popup/popupcontroller.h"
#include "popup/popupsearchdisplay.h"
#include "registry/snippetregistry.h"
#include "search/filepathsearchsource.h"
#include "search/searchcoordinator.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

using Paths = std::vector<std::string>;

const std::vector<std::string>& words() {
    static const std::vector<std::string> list = {
        "src", "conf", "config", "server", "client", "build", "deploy", "test", "docs", "lib", "app", "util",
        "router", "store", "model", "view", "parse", "render", "cache", "index", "main", "setup", "schema",
        "query", "search", "file", "path", "token", "auth", "user", "session", "log", "metric", "trace"};
    return list;
}

// A source tree of 1 to 8 folders per path drawn from a small vocabulary, with common extensions.
Paths projectPaths(std::size_t count) {
    static const std::vector<std::string> extensions = {".c", ".h", ".cpp", ".ts", ".js", ".py", ".go",
                                                        ".rs", ".md", ".json", ".yml", ".txt", ""};
    std::mt19937 random(136);
    Paths paths;
    paths.reserve(count);
    for (std::size_t i = 0; paths.size() < count; ++i) {
        const int depth = 1 + static_cast<int>(random() % 8);
        std::string path;
        for (int d = 0; d < depth; ++d) {
            path += words()[random() % words().size()] + (random() % 3 == 0 ? std::to_string(random() % 9) : "");
            path += '/';
        }
        path += words()[random() % words().size()] + std::to_string(i % 113) + extensions[random() % extensions.size()];
        paths.push_back(std::move(path));
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

std::vector<Snippet> snippets(std::size_t count) {
    std::mt19937 random(10000);
    std::vector<Snippet> list;
    list.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Snippet snippet;
        snippet.id = "manual:s" + std::to_string(i);
        snippet.label = words()[random() % words().size()] + "-" + words()[random() % words().size()] + "-" +
                        std::to_string(i);
        snippet.expansion = "expansion " + std::to_string(i);
        snippet.source = SnippetSource::manual();
        list.push_back(std::move(snippet));
    }
    return list;
}

// The provider's answer timed, so that the search side's own share can be told apart.
class TimedSource final : public FileSearchSource {
public:
    explicit TimedSource(std::shared_ptr<FileSearchSource> inner)
        : inner_(std::move(inner)) {}

    using FileSearchSource::search;
    std::vector<SearchResult> search(const std::string& query, const std::string& root, bool caseSensitive,
                                     const CancellationToken* cancellation) override {
        const auto start = std::chrono::steady_clock::now();
        auto results = inner_->search(query, root, caseSensitive, cancellation);
        lastMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return results;
    }
    std::vector<std::string> recentPaths(const std::string& root, std::size_t limit) override {
        return inner_->recentPaths(root, limit);
    }
    Snippet makeSnippet(const std::string& path, const std::string& root) override {
        return inner_->makeSnippet(path, root);
    }
    bool isIndexTruncated(const std::string& root) override { return inner_->isIndexTruncated(root); }
    bool isRecentFilesLoading(const std::string& root) override { return inner_->isRecentFilesLoading(root); }

    double lastMs = 0;

private:
    std::shared_ptr<FileSearchSource> inner_;
};

struct Session {
    FakeClock clock;
    ManualScheduler scheduler;
    ManualWorkerPool workers;
    FakeScreenList screens;
    FakeCaretLocator caret;
    FakeFocusedWindowFrame focusedWindow;
    FakePointerLocation pointer;
    std::shared_ptr<PopupController> controller;
    SnippetRegistry registry{clock};
    std::shared_ptr<FilePathProvider> files;
    std::shared_ptr<SearchCoordinator> coordinator;
    std::shared_ptr<TimedSource> source;
    SearchCoordinator::LiveSearchContext context;
    std::size_t pathCount = 0;
    // Every change notification reaches the views, which relayout synchronously on each.
    std::size_t notifications = 0;

    Session() {
        scheduler.attachClock(&clock);
        screens.list = {{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
        controller = PopupController::create(scheduler, {screens, caret, focusedWindow, pointer},
                                             [](std::shared_ptr<PopupViewModel>) {
                                                 return std::make_unique<FakePopupSurfaceWindow>();
                                             });
        registry.updateSnippets(SnippetSource::manual(), snippets(10000));
        const Paths paths = projectPaths(136000);
        pathCount = paths.size();
        CommandRunner runner = [paths](const Paths& arguments, const std::string&, double) -> std::optional<Paths> {
            if (arguments[0] == "ls-files") {
                return paths;
            }
            return Paths{};
        };
        files = FilePathProvider::create(clock, runner, workers);
        files->index("/bench/root");
        coordinator = SearchCoordinator::create(registry, std::make_shared<PopupSearchDisplay>(controller), scheduler,
                                                clock);
        source = std::make_shared<TimedSource>(std::make_shared<FilePathSearchSource>(files));
        coordinator->filePathSource = source;
        coordinator->liveScopeProviders[SnippetSource::filePath()] = source;
        context.projectRoot = "/bench/root";
        context.activeCategories = defaultActiveCategories();
        controller->viewModel().addObserver([this] { ++notifications; });
    }
};

Session& session() {
    static Session made;
    return made;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

void BM_TypeSrcConf(benchmark::State& state) {
    auto& s = session();
    const std::string typed = "src/conf";
    std::vector<double> shown;
    std::vector<double> merged;
    std::vector<std::vector<double>> byLength(typed.size() + 1);
    std::vector<double> ownShare;
    std::size_t lastCount = 0;
    std::size_t keystrokes = 0;
    s.notifications = 0;
    for (auto _ : state) {
        for (std::size_t n = 1; n <= typed.size(); ++n) {
            const std::string query = typed.substr(0, n);
            const auto start = std::chrono::steady_clock::now();
            if (!s.coordinator->shouldSkipDuplicateInput(query)) {
                s.coordinator->performSearch(query, SearchSource::input, s.context);
            }
            s.scheduler.runUntilIdle();
            const auto first = std::chrono::steady_clock::now();
            // The debounce passes in virtual time; the file search and the merge run for real.
            s.scheduler.advance(SearchAsyncUpdateEngine::fileQueryDebounce + 0.001);
            const auto end = std::chrono::steady_clock::now();
            shown.push_back(std::chrono::duration<double, std::milli>(first - start).count());
            merged.push_back(std::chrono::duration<double, std::milli>(end - start).count());
            byLength[n].push_back(merged.back());
            ownShare.push_back(merged.back() - s.source->lastMs);
            s.source->lastMs = 0;
            s.scheduler.advance(0.1); // the next keystroke comes later than the duplicate window
            ++keystrokes;
        }
        lastCount = s.controller->viewModel().allResults().size();
        const std::size_t typing = s.notifications;
        s.coordinator->resetSession();
        s.coordinator->endSession();
        s.controller->hide();
        s.scheduler.advance(1);
        s.notifications = typing;
    }
    state.counters["shown_p50_ms"] = percentile(shown, 0.5);
    state.counters["shown_p95_ms"] = percentile(shown, 0.95);
    state.counters["merged_p50_ms"] = percentile(merged, 0.5);
    state.counters["merged_p95_ms"] = percentile(merged, 0.95);
    state.counters["merged_max_ms"] = *std::max_element(merged.begin(), merged.end());
    state.counters["paths"] = static_cast<double>(s.pathCount);
    state.counters["without_file_ranking_p50_ms"] = percentile(ownShare, 0.5);
    state.counters["without_file_ranking_p95_ms"] = percentile(ownShare, 0.95);
    for (std::size_t n = 1; n < byLength.size(); ++n) {
        state.counters["merged_p50_ms_" + typed.substr(0, n)] = percentile(byLength[n], 0.5);
    }
    state.counters["final_rows"] = static_cast<double>(lastCount);
    state.counters["notifications_per_key"] = static_cast<double>(s.notifications) / static_cast<double>(keystrokes);
}
BENCHMARK(BM_TypeSrcConf)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace
} // namespace korvane

BENCHMARK_MAIN();
