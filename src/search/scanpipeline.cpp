#include "search/scanpipeline.h"

#include "providers/customprovider.h"
#include "providers/globalskillprovider.h"
#include "search/providercall.h"
#include "search/skillprecedence.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <utility>

namespace korvane {

// The state of one scanProject run, kept on the main thread: what has been staged so far and how
// many providers have yet to answer.
struct ScanPipeline::ProjectScan {
    const std::string root;
    const std::int64_t generation;
    const std::vector<SnippetSource> customSources;
    std::unordered_map<SnippetSource, std::vector<Snippet>> bySource;
    std::size_t remaining = 0;
    bool finished = false;
    CancellationToken deadline;
    // By each provider's place: the source a user's command fills, none for a built-in provider (which
    // may fill any scanned source); and whether it has answered.
    std::vector<std::optional<SnippetSource>> ownSources;
    std::vector<bool> answered;
};

// The state of one scanProviders run: each provider's result in its place in the given list.
struct ScanPipeline::ProviderRun {
    const std::optional<std::string> root;
    const std::int64_t generation;
    const std::vector<SnippetSource> customSources;
    std::vector<std::vector<Snippet>> results;
    std::size_t remaining = 0;
    bool finished = false;
    CancellationToken deadline;
};

ScanPipeline::ScanPipeline(std::shared_ptr<SnippetRegistry> registry, Scheduler& scheduler, WorkerPool& scanPool,
                           const Clock& clock)
    : registry_(std::move(registry))
    , scheduler_(scheduler)
    , scanPool_(scanPool)
    , clock_(clock) {}

const std::vector<SnippetSource>& ScanPipeline::replaceableSources() {
    static const std::vector<SnippetSource> sources{
        SnippetSource::claudeSkill(), SnippetSource::aiDoc(),     SnippetSource::envVar(),
        SnippetSource::gitRef(),      SnippetSource::gitRemote(), SnippetSource::npmScript(),
        SnippetSource::makeTarget()};
    return sources;
}

std::unordered_set<SnippetSource> ScanPipeline::loadingSources() const {
    // The registry names a project once rows of it are in, kept from an earlier scan or all fresh.
    if (!scanInFlight || registry_->currentProjectRoot) {
        return {};
    }
    // Before the scan of a project entered starts, everything it will fill is on its way.
    const bool started = projectScan_ && projectScan_->generation == scanGeneration && !projectScan_->finished;
    std::unordered_set<SnippetSource> loading;
    if (!started) {
        const auto custom = customSources(providers);
        loading.insert(custom.begin(), custom.end());
    }
    bool builtInWaiting = !started;
    for (std::size_t index = 0; started && index < projectScan_->answered.size(); ++index) {
        if (projectScan_->answered[index]) {
            continue;
        }
        if (const auto& own = projectScan_->ownSources[index]) {
            loading.insert(*own);
        } else {
            builtInWaiting = true;
        }
    }
    if (builtInWaiting) {
        loading.insert(replaceableSources().begin(), replaceableSources().end());
    }
    return loading;
}

bool ScanPipeline::sourcesMoved(const std::string& root) const {
    return sourcesStamp && scannedStamp_ && scannedStamp_->first == root &&
           sourcesStamp(root) != scannedStamp_->second;
}

void ScanPipeline::stampSources(const std::optional<std::string>& root) {
    scannedStamp_.reset();
    if (root && sourcesStamp) {
        scannedStamp_.emplace(*root, sourcesStamp(*root));
    }
}

std::vector<SnippetSource> ScanPipeline::customSources(const std::vector<std::shared_ptr<SnippetProvider>>& list) {
    std::vector<SnippetSource> sources;
    for (const auto& provider : list) {
        if (const auto* custom = dynamic_cast<const CustomProvider*>(provider.get())) {
            sources.push_back(SnippetSource::custom(custom->config().id));
        }
    }
    return sources;
}

ScanPipeline::SourceLists ScanPipeline::groupBySource(std::vector<Snippet> snippets) {
    SourceLists groups;
    for (auto& snippet : snippets) {
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const auto& entry) { return entry.first == snippet.source; });
        if (group == groups.end()) {
            group = groups.insert(groups.end(), {snippet.source, {}});
        }
        group->second.push_back(std::move(snippet));
    }
    return groups;
}

void ScanPipeline::scanProject(const std::string& root) {
    const auto now = clock_.monotonicNow();
    if (lastScanRoot == root && lastScanTime &&
        std::chrono::duration<double>(now - *lastScanTime).count() < scanCooldown) {
        return;
    }
    if (lastScanRoot != root) {
        if (auto entry = snippetCache.get(root)) {
            applyCachedEntry(root, std::move(*entry));
        } else {
            registry_->removeSnippets();
        }
        reportProgress();
    }
    lastScanRoot = root;
    lastScanTime = now;
    stampSources(root);
    const std::int64_t generation = ++scanGeneration;
    auto scan = std::make_shared<ProjectScan>(ProjectScan{root, generation, customSources(providers), {}});
    scan->remaining = providers.size();
    for (const auto& provider : providers) {
        const auto* custom = dynamic_cast<const CustomProvider*>(provider.get());
        scan->ownSources.push_back(custom ? std::optional(SnippetSource::custom(custom->config().id)) : std::nullopt);
    }
    scan->answered.assign(providers.size(), false);
    projectScan_ = scan;
    scanInFlight = true;

    const std::weak_ptr<ScanPipeline> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;
    if (providers.empty()) {
        scheduler_.post([weak, scan] {
            if (const auto self = weak.lock()) {
                self->finishScan(scan);
            }
        });
        return;
    }
    // The deadline does not keep the scan (the latest one is kept above): held for its whole minute,
    // every scan of a quick walk through projects stayed in memory with all it had gathered.
    scan->deadline = scheduler_.postAfter(scanTimeLimit, [weak, pending = std::weak_ptr(scan)] {
        const auto self = weak.lock();
        if (const auto scan = pending.lock(); self && scan && !scan->finished) {
            self->finishScan(scan);
        }
    });
    for (std::size_t index = 0; index < providers.size(); ++index) {
        scanPool_.run([weak, scheduler, scan, index, root, provider = providers[index]] {
            if (weak.expired()) {
                return;
            }
            auto snippets = snippetsOrNothing(*provider, root);
            scheduler->post([weak, scan, index, snippets = std::move(snippets)]() mutable {
                if (const auto self = weak.lock()) {
                    self->receive(scan, index, std::move(snippets));
                }
            });
        });
    }
}

void ScanPipeline::applyCachedEntry(const std::string& root, ProjectSnippetCache::Entry entry) {
    // The sources the cached project lacks must not keep showing the previous project's snippets,
    // and a custom provider removed from the configuration since must not come back.
    registry_->removeSnippets();
    const auto& replaceable = replaceableSources();
    const auto custom = customSources(providers);
    for (auto& [source, snippets] : entry) {
        const bool wanted = source.isCustom()
                                ? std::find(custom.begin(), custom.end(), source) != custom.end()
                                : std::find(replaceable.begin(), replaceable.end(), source) != replaceable.end();
        if (wanted) {
            registry_->updateSnippets(source, std::move(snippets));
        }
    }
    registry_->currentProjectRoot = root;
}

void ScanPipeline::receive(const std::shared_ptr<ProjectScan>& scan, std::size_t index,
                           std::vector<Snippet> snippets) {
    if (scan->finished) {
        return;
    }
    --scan->remaining;
    scan->answered[index] = true;
    if (scanGeneration == scan->generation) {
        std::vector<SnippetSource> changed;
        for (auto& [source, list] : groupBySource(std::move(snippets))) {
            if (source == SnippetSource::manual()) {
                continue;
            }
            auto& staged = scan->bySource[source];
            std::move(list.begin(), list.end(), std::back_inserter(staged));
            changed.push_back(source);
        }
        for (const auto& source : changed) {
            auto list = scan->bySource[source];
            if (source == SnippetSource::claudeSkill()) {
                list = applySkillPrecedence(std::move(list));
            }
            registry_->updateSnippets(source, std::move(list));
        }
        if (!changed.empty()) {
            reportProgress();
        }
    }
    if (scan->remaining == 0) {
        finishScan(scan);
    }
}

void ScanPipeline::finishScan(const std::shared_ptr<ProjectScan>& scan) {
    scan->finished = true;
    scan->deadline.cancel();
    if (scanGeneration != scan->generation) {
        return;
    }
    for (const auto& source : replaceableSources()) {
        if (!scan->bySource.contains(source)) {
            registry_->updateSnippets(source, {});
        }
    }
    for (const auto& source : scan->customSources) {
        if (!scan->bySource.contains(source)) {
            registry_->updateSnippets(source, {});
        }
    }
    registry_->currentProjectRoot = scan->root;
    scanInFlight = false;
    ProjectSnippetCache::Entry entry;
    for (const auto& [source, list] : scan->bySource) {
        entry[source] = source == SnippetSource::claudeSkill() ? applySkillPrecedence(list) : list;
    }
    snippetCache.store(scan->root, std::move(entry));
    callCompletion();
}

void ScanPipeline::scanProviders(std::vector<std::shared_ptr<SnippetProvider>> list, std::optional<std::string> root) {
    const std::int64_t generation = ++scanGeneration;
    scanInFlight = true;
    stampSources(root);
    auto run = std::make_shared<ProviderRun>(ProviderRun{root, generation, customSources(list), {}});
    const std::weak_ptr<ScanPipeline> weak = weak_from_this();
    Scheduler* scheduler = &scheduler_;

    // Without a root only the global skills are read again; no provider is asked.
    if (!root) {
        std::shared_ptr<GlobalSkillProvider> globalSkills;
        for (const auto& provider : list) {
            if (auto global = std::dynamic_pointer_cast<GlobalSkillProvider>(provider)) {
                globalSkills = std::move(global);
            }
        }
        run->results.resize(1);
        run->remaining = 1;
        run->deadline = scheduler_.postAfter(scanTimeLimit, [weak, run] {
            if (const auto self = weak.lock(); self && !run->finished) {
                self->finishProviderRun(run);
            }
        });
        scanPool_.run([weak, scheduler, run, globalSkills] {
            if (weak.expired()) {
                return;
            }
            std::vector<Snippet> snippets;
            if (globalSkills) {
                globalSkills->refresh();
                snippets = snippetsOrNothing(*globalSkills, {});
            }
            scheduler->post([weak, run, snippets = std::move(snippets)]() mutable {
                if (const auto self = weak.lock()) {
                    self->receive(run, 0, std::move(snippets));
                }
            });
        });
        return;
    }

    run->results.resize(list.size());
    run->remaining = list.size();
    if (list.empty()) {
        scheduler_.post([weak, run] {
            if (const auto self = weak.lock()) {
                self->finishProviderRun(run);
            }
        });
        return;
    }
    run->deadline = scheduler_.postAfter(scanTimeLimit, [weak, run] {
        if (const auto self = weak.lock(); self && !run->finished) {
            self->finishProviderRun(run);
        }
    });
    for (std::size_t index = 0; index < list.size(); ++index) {
        scanPool_.run([weak, scheduler, run, index, root = *root, provider = list[index]] {
            if (weak.expired()) {
                return;
            }
            // The user's global skills are read afresh, so that the re-run sees their current files.
            if (auto* global = dynamic_cast<GlobalSkillProvider*>(provider.get())) {
                global->refresh();
            }
            auto snippets = snippetsOrNothing(*provider, root);
            scheduler->post([weak, run, index, snippets = std::move(snippets)]() mutable {
                if (const auto self = weak.lock()) {
                    self->receive(run, index, std::move(snippets));
                }
            });
        });
    }
}

void ScanPipeline::receive(const std::shared_ptr<ProviderRun>& run, std::size_t index, std::vector<Snippet> snippets) {
    if (run->finished) {
        return;
    }
    run->results[index] = std::move(snippets);
    if (--run->remaining == 0) {
        finishProviderRun(run);
    }
}

void ScanPipeline::finishProviderRun(const std::shared_ptr<ProviderRun>& run) {
    run->finished = true;
    run->deadline.cancel();
    if (scanGeneration != run->generation) {
        if (onScanFinished) {
            onScanFinished();
        }
        return;
    }
    std::vector<Snippet> all;
    for (auto& result : run->results) {
        std::move(result.begin(), result.end(), std::back_inserter(all));
    }
    auto groups = groupBySource(std::move(all));
    for (auto& [source, list] : groups) {
        if (source == SnippetSource::claudeSkill()) {
            list = applySkillPrecedence(std::move(list));
        }
    }
    const auto groupOf = [&groups](const SnippetSource& source) -> const std::vector<Snippet>* {
        const auto found = std::find_if(groups.begin(), groups.end(),
                                        [&](const auto& entry) { return entry.first == source; });
        return found == groups.end() ? nullptr : &found->second;
    };
    for (const auto& source : replaceableSources()) {
        const auto* group = groupOf(source);
        registry_->updateSnippets(source, group ? *group : std::vector<Snippet>{});
    }
    for (const auto& [source, list] : groups) {
        if (source.isCustom()) {
            registry_->updateSnippets(source, list);
        }
    }
    for (const auto& source : run->customSources) {
        if (groupOf(source) == nullptr) {
            registry_->updateSnippets(source, {});
        }
    }
    scanInFlight = false;
    if (run->root) {
        ProjectSnippetCache::Entry entry;
        for (auto& [source, list] : groups) {
            if (source != SnippetSource::manual()) {
                entry[source] = std::move(list);
            }
        }
        snippetCache.store(*run->root, std::move(entry));
    }
    callCompletion();
}

void ScanPipeline::reportProgress() {
    if (onScanProgress) {
        onScanProgress(registry_->indexedSnippets().size());
    }
}

void ScanPipeline::callCompletion() {
    if (onScanCompleted) {
        onScanCompleted();
    }
    if (onScanFinished) {
        onScanFinished();
    }
}

} // namespace korvane
