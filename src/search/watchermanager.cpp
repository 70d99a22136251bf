#include "search/watchermanager.h"

#include "config/categorycatalog.h"
#include "providers/filescanner.h"
#include "providers/maketargetprovider.h"
#include "providers/npmscriptprovider.h"
#include "providers/projectdocextractor.h"
#include "providers/projectproviderfactories.h"
#include "search/providercall.h"
#include "search/skillprecedence.h"

#include <sys/stat.h>
#include <utility>

namespace korvane {

WatcherManager::Sources WatcherManager::Sources::standard(std::shared_ptr<GlobalSkillProvider> globalSkills) {
    Sources sources;
    sources.globalSkills = std::move(globalSkills);
    sources.fileScanner = [](const FileScannerOptions& options) -> std::shared_ptr<SnippetProvider> {
        return std::make_shared<FileScanner>(makeFileExtractors(options.extractors), options.ignorePatterns,
                                             options.maxDepth);
    };
    sources.npmScripts = std::make_shared<NpmScriptProvider>();
    sources.makeTargets = std::make_shared<MakeTargetProvider>();
    return sources;
}

EnabledSourcesSnapshot WatcherManager::defaultEnabledSourcesSnapshot() {
    return EnabledSourcesPolicy::resolve({"recent", "files", "app", "manual", "skills", "git", "docs", "scripts"},
                                         CategoryCatalog::makeSnapshot({}));
}

WatcherManager::WatcherManager(std::shared_ptr<SnippetRegistry> registry, std::shared_ptr<SnippetCountDisplay> statusBar,
                               Scheduler& scheduler, std::shared_ptr<FileWatchSource> watchSource, Sources sources)
    : registry_(std::move(registry))
    , statusBar_(std::move(statusBar))
    , scheduler_(scheduler)
    , watchSource_(std::move(watchSource))
    , sources_(std::move(sources)) {}

WatcherManager::FileDate WatcherManager::modificationDate(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    const auto sinceEpoch = std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec);
    return std::filesystem::file_time_type(
        std::chrono::duration_cast<std::filesystem::file_time_type::duration>(sinceEpoch));
}

bool WatcherManager::isEnabled(const SnippetSource& source) const {
    return enabledSourcesSnapshot().enabled.contains(source);
}

std::shared_ptr<DirectoryWatcher> WatcherManager::watch(const std::string& path, double debounce,
                                                        std::function<void()> handler) {
    auto watcher = DirectoryWatcher::create(path, debounce, scheduler_, watchSource_);
    watcher->onChange = std::move(handler);
    watcher->start();
    return watcher;
}

void WatcherManager::startGlobalSkillWatchers() {
    for (const auto& watcher : globalSkillWatchers_) {
        watcher->stop();
    }
    globalSkillWatchers_.clear();
    if (!isEnabled(SnippetSource::claudeSkill()) || !sources_.globalSkills) {
        return;
    }
    std::error_code error;
    for (const auto& directory : sources_.globalSkills->roots()) {
        if (!std::filesystem::exists(directory, error)) {
            continue;
        }
        globalSkillWatchers_.push_back(watch(directory.string(), skillsDebounce, [weak = weak_from_this()] {
            if (const auto self = weak.lock()) {
                self->handleGlobalSkillsChange();
            }
        }));
    }
}

void WatcherManager::startProjectWatchers(const std::string& root) {
    for (const auto& watcher : projectWatchers_) {
        watcher->stop();
    }
    projectWatchers_.clear();
    const std::weak_ptr<WatcherManager> weak = weak_from_this();
    std::error_code error;

    const std::string skillsDirectory = root + "/.claude/skills";
    if (isEnabled(SnippetSource::claudeSkill()) && std::filesystem::exists(skillsDirectory, error)) {
        projectWatchers_.push_back(watch(skillsDirectory, skillsDebounce, [weak, root] {
            if (const auto self = weak.lock()) {
                self->handleSkillsDirectoryChange(root);
            }
        }));
    }

    auto docDates = std::make_shared<std::map<std::string, std::filesystem::file_time_type>>();
    for (const auto name : documentNames) {
        const std::string path = root + "/" + std::string(name);
        if (const auto date = modificationDate(path)) {
            (*docDates)[path] = *date;
        }
    }
    if (isEnabled(SnippetSource::aiDoc())) {
        projectWatchers_.push_back(watch(root, documentsDebounce, [weak, root, docDates] {
            if (const auto self = weak.lock()) {
                self->handleDocsDirectoryChange(root, *docDates);
            }
        }));
    }

    const std::string packageJSON = root + "/package.json";
    auto packageDate = std::make_shared<FileDate>(modificationDate(packageJSON));
    if (isEnabled(SnippetSource::npmScript())) {
        projectWatchers_.push_back(watch(packageJSON, packageJSONDebounce, [weak, root, packageJSON, packageDate] {
            if (const auto self = weak.lock()) {
                self->handlePackageJSONChange(root, packageJSON, *packageDate);
            }
        }));
    }

    auto makeDates = std::make_shared<std::map<std::string, FileDate>>();
    for (const auto name : makeFileNames) {
        const std::string path = root + "/" + std::string(name);
        (*makeDates)[path] = modificationDate(path);
    }
    if (isEnabled(SnippetSource::makeTarget())) {
        projectWatchers_.push_back(watch(root, makeFilesDebounce, [weak, root, makeDates] {
            if (const auto self = weak.lock()) {
                self->handleMakeFilesChange(root, *makeDates);
            }
        }));
    }
}

void WatcherManager::stopAllWatchers() {
    for (const auto& watcher : projectWatchers_) {
        watcher->stop();
    }
    projectWatchers_.clear();
}

void WatcherManager::handleGlobalSkillsChange() {
    if (!isEnabled(SnippetSource::claudeSkill())) {
        return;
    }
    if (isScanInFlight()) {
        dirtyWatcherSources_.insert(SnippetSource::claudeSkill());
        return;
    }
    startGlobalSkillsJob(std::nullopt);
}

void WatcherManager::handleSkillsDirectoryChange(const std::string& root) {
    if (!isEnabled(SnippetSource::claudeSkill())) {
        return;
    }
    if (isScanInFlight()) {
        dirtyWatcherSources_.insert(SnippetSource::claudeSkill());
        return;
    }
    refreshSkills(root);
}

void WatcherManager::handleDocsDirectoryChange(const std::string& root,
                                               std::map<std::string, std::filesystem::file_time_type>& dates) {
    if (!isEnabled(SnippetSource::aiDoc())) {
        return;
    }
    for (const auto name : documentNames) {
        const std::string path = root + "/" + std::string(name);
        const FileDate current = modificationDate(path);
        const auto stored = dates.find(path);
        const FileDate previous = stored == dates.end() ? FileDate() : FileDate(stored->second);
        if (current == previous) {
            continue;
        }
        // Only the first changed document is looked at; the refresh reads all of them anyway.
        if (current) {
            dates[path] = *current;
        } else {
            dates.erase(path);
        }
        if (isScanInFlight()) {
            dirtyWatcherSources_.insert(SnippetSource::aiDoc());
        } else {
            refreshDocuments(root);
        }
        return;
    }
}

void WatcherManager::handlePackageJSONChange(const std::string& root, const std::string& path, FileDate& date) {
    if (!isEnabled(SnippetSource::npmScript())) {
        return;
    }
    const FileDate current = modificationDate(path);
    if (current == date) {
        return;
    }
    date = current;
    if (isScanInFlight()) {
        dirtyWatcherSources_.insert(SnippetSource::npmScript());
    } else {
        refreshProvider(SnippetSource::npmScript(), sources_.npmScripts, root);
    }
}

void WatcherManager::handleMakeFilesChange(const std::string& root, std::map<std::string, FileDate>& dates) {
    if (!isEnabled(SnippetSource::makeTarget())) {
        return;
    }
    for (const auto name : makeFileNames) {
        const std::string path = root + "/" + std::string(name);
        const FileDate current = modificationDate(path);
        const auto stored = dates.find(path);
        if (stored != dates.end() && stored->second == current) {
            continue;
        }
        dates[path] = current;
        if (isScanInFlight()) {
            dirtyWatcherSources_.insert(SnippetSource::makeTarget());
        } else {
            refreshProvider(SnippetSource::makeTarget(), sources_.makeTargets, root);
        }
        return;
    }
}

void WatcherManager::startGlobalSkillsJob(std::optional<Root> root) {
    auto globalSkills = sources_.globalSkills;
    if (!globalSkills) {
        return;
    }
    scheduler_.runInBackground(TaskPriority::utility, [weak = weak_from_this(), scheduler = &scheduler_, globalSkills,
                                                       root = std::move(root)](const CancellationToken&) {
        globalSkills->refresh();
        scheduler->post([weak, root] {
            if (const auto self = weak.lock()) {
                self->refreshSkills(root ? *root : self->getCurrentProjectRoot());
            }
        });
    });
}

void WatcherManager::refreshSkills(const Root& root) {
    if (!isEnabled(SnippetSource::claudeSkill())) {
        return;
    }
    // No scan here, also when the global skills were never read: the project's skills alone then.
    auto global = sources_.globalSkills ? sources_.globalSkills->cachedSnippets() : std::vector<Snippet>{};
    const std::weak_ptr<WatcherManager> weak = weak_from_this();
    if (!root || !sources_.fileScanner) {
        scheduler_.post([weak, global = std::move(global), root]() mutable {
            if (const auto self = weak.lock()) {
                self->applyIfCurrent(SnippetSource::claudeSkill(), applySkillPrecedence(std::move(global)), root);
            }
        });
        return;
    }
    // The walk of the project (or its git listing) may take seconds, so it runs off the main thread.
    const auto scanner = sources_.fileScanner(
        FileScannerOptions{{SnippetSource::claudeSkill()}, skippedDirectories(), projectSkillDepth});
    scheduler_.runInBackground(TaskPriority::utility, [weak, scheduler = &scheduler_, scanner, global = std::move(global),
                                                       root](const CancellationToken&) mutable {
        auto combined = std::move(global);
        for (auto& snippet : snippetsOrNothing(*scanner, *root)) {
            if (snippet.source == SnippetSource::claudeSkill()) {
                combined.push_back(std::move(snippet));
            }
        }
        auto merged = applySkillPrecedence(std::move(combined));
        scheduler->post([weak, merged = std::move(merged), root]() mutable {
            if (const auto self = weak.lock()) {
                self->applyIfCurrent(SnippetSource::claudeSkill(), std::move(merged), root);
            }
        });
    });
}

void WatcherManager::refreshDocuments(const std::string& root) {
    scheduler_.runInBackground(TaskPriority::utility, [weak = weak_from_this(), scheduler = &scheduler_,
                                                       root](const CancellationToken&) {
        const ProjectDocExtractor extractor;
        std::vector<Snippet> snippets;
        std::error_code error;
        for (const auto name : documentNames) {
            const std::filesystem::path file = std::filesystem::path(root) / std::string(name);
            if (!std::filesystem::exists(file, error)) {
                continue;
            }
            try {
                for (auto& snippet : extractor.extract(file)) {
                    snippets.push_back(std::move(snippet));
                }
            } catch (...) {
            }
        }
        scheduler->post([weak, snippets = std::move(snippets), root]() mutable {
            if (const auto self = weak.lock()) {
                self->applyIfCurrent(SnippetSource::aiDoc(), std::move(snippets), root);
            }
        });
    });
}

void WatcherManager::refreshProvider(const SnippetSource& source, const std::shared_ptr<SnippetProvider>& provider,
                                     const std::string& root) {
    if (!provider) {
        return;
    }
    scheduler_.runInBackground(TaskPriority::utility, [weak = weak_from_this(), scheduler = &scheduler_, source,
                                                       provider, root](const CancellationToken&) {
        auto snippets = snippetsOrNothing(*provider, root);
        scheduler->post([weak, source, snippets = std::move(snippets), root]() mutable {
            if (const auto self = weak.lock()) {
                self->applyIfCurrent(source, std::move(snippets), root);
            }
        });
    });
}

void WatcherManager::applyIfCurrent(const SnippetSource& source, std::vector<Snippet> snippets, const Root& root) {
    if (getCurrentProjectRoot() != root) {
        return;
    }
    apply(source, std::move(snippets));
}

void WatcherManager::apply(const SnippetSource& source, std::vector<Snippet> snippets) {
    registry_->updateSnippets(source, std::move(snippets));
    if (statusBar_) {
        statusBar_->setSnippetCount(registry_->indexedSnippets().size());
    }
    if (onSourceRefreshed) {
        onSourceRefreshed();
    }
}

void WatcherManager::refreshDirtySources(const std::optional<std::string>& root) {
    auto dirty = std::exchange(dirtyWatcherSources_, {});
    if (dirty.empty()) {
        return;
    }
    const auto enabled = enabledSourcesSnapshot().enabled;
    const auto wanted = [&](const SnippetSource& source) {
        return dirty.contains(source) && enabled.contains(source);
    };
    if (wanted(SnippetSource::claudeSkill())) {
        startGlobalSkillsJob(Root(root));
    }
    if (!root) {
        return;
    }
    if (wanted(SnippetSource::aiDoc())) {
        refreshDocuments(*root);
    }
    if (wanted(SnippetSource::npmScript())) {
        refreshProvider(SnippetSource::npmScript(), sources_.npmScripts, *root);
    }
    if (wanted(SnippetSource::makeTarget())) {
        refreshProvider(SnippetSource::makeTarget(), sources_.makeTargets, *root);
    }
}

} // namespace korvane
