#pragma once

#include "base/clock.h"
#include "base/scheduler.h"
#include "base/workerpool.h"
#include "model/snippet.h"
#include "model/snippetprovider.h"
#include "model/snippetsource.h"
#include "registry/snippetregistry.h"
#include "search/projectsnippetcache.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace korvane {

// Fills the registry with a project's snippets: every provider runs as its own job on the scan pool,
// each result reaches the registry as soon as it arrives, and a final step empties what no provider
// produced any more and remembers the result per root. Results of a scan that a newer one replaced
// are dropped. Main thread; hold by std::shared_ptr (jobs hold it weakly).
class ScanPipeline : public std::enable_shared_from_this<ScanPipeline> {
public:
    // A scan whose providers have not all answered after this long is finished with what arrived; a
    // provider that never returns must not keep watchers waiting for the scan's end for ever.
    static constexpr double scanTimeLimit = 60.0;

    // `scheduler` carries results to the main thread, `scanPool` runs the providers; both and `clock`
    // outlive the pipeline.
    ScanPipeline(std::shared_ptr<SnippetRegistry> registry, Scheduler& scheduler, WorkerPool& scanPool,
                 const Clock& clock = SystemClock::shared());

    // The number of snippets in the registry after a provider's result or cached snippets went in.
    std::function<void(std::size_t)> onScanProgress;
    // A current scan has been fully applied.
    std::function<void()> onScanCompleted;
    // After onScanCompleted at the end of every current scan; also when a provider re-run turned out stale.
    std::function<void()> onScanFinished;

    // Raised by every scan; a scan's results apply only while it still holds the value it started with.
    std::int64_t scanGeneration = 0;
    std::optional<std::string> lastScanRoot;
    // Monotonic, so that a step of the wall clock neither suppresses nor repeats scans.
    std::optional<Clock::MonotonicTime> lastScanTime;
    double scanCooldown = 5.0;
    ProjectSnippetCache snippetCache{5};
    bool scanInFlight = false;
    std::vector<std::shared_ptr<SnippetProvider>> providers;
    // What the sources of a project stand on (ProjectStateStamp::takeAccess in the shell), taken as a
    // scan of it begins; none: nothing is stamped.
    std::function<std::uint64_t(const std::string& root)> sourcesStamp;

    // Scans `root` over `providers`, unless the same root was scanned less than scanCooldown ago.
    // A new root shows its cached snippets at once, or none while the scan runs.
    void scanProject(const std::string& root);

    // Re-runs `providers` (the whole configured list: every built-in source they do not produce is
    // emptied) for `root`, without cooldown or cache read, and applies the result once. Without a
    // root no provider runs; only the global skills are re-read when they are among the providers.
    void scanProviders(std::vector<std::shared_ptr<SnippetProvider>> providers, std::optional<std::string> root);

    // The sources a scan replaces whole, besides the custom sources of its providers: manual snippets
    // and file paths are never touched.
    static const std::vector<SnippetSource>& replaceableSources();

    // The sources whose rows are still on their way while a project is read with none of its rows kept:
    // those a built-in provider may fill until every built-in provider has answered, and each of the
    // user's commands' own until it has. Empty once the scan is done, or while kept rows are shown.
    std::unordered_set<SnippetSource> loadingSources() const;
    // Whether `root` was the last project scanned and what its sources stand on has changed since that
    // scan began (its repository removed, its folder closed): the rows it left may be gone.
    bool sourcesMoved(const std::string& root) const;

private:
    struct ProjectScan;
    struct ProviderRun;

    using SourceLists = std::vector<std::pair<SnippetSource, std::vector<Snippet>>>;

    static std::vector<SnippetSource> customSources(const std::vector<std::shared_ptr<SnippetProvider>>& list);
    static SourceLists groupBySource(std::vector<Snippet> snippets);

    void applyCachedEntry(const std::string& root, ProjectSnippetCache::Entry entry);
    void receive(const std::shared_ptr<ProjectScan>& scan, std::size_t index, std::vector<Snippet> snippets);
    void finishScan(const std::shared_ptr<ProjectScan>& scan);
    void receive(const std::shared_ptr<ProviderRun>& run, std::size_t index, std::vector<Snippet> snippets);
    void finishProviderRun(const std::shared_ptr<ProviderRun>& run);
    void reportProgress();
    void callCompletion();

    std::shared_ptr<SnippetRegistry> registry_;
    Scheduler& scheduler_;
    WorkerPool& scanPool_;
    const Clock& clock_;
    // The latest scanProject run.
    std::shared_ptr<ProjectScan> projectScan_;
    // The root of the last scan begun and its sources' stamp then.
    std::optional<std::pair<std::string, std::uint64_t>> scannedStamp_;

    void stampSources(const std::optional<std::string>& root);
};

} // namespace korvane
