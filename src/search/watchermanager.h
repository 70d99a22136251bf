#pragma once

#include "base/scheduler.h"
#include "config/enabledsourcespolicy.h"
#include "config/providerfactories.h"
#include "model/snippet.h"
#include "model/snippetprovider.h"
#include "model/snippetsource.h"
#include "platform/filewatchsource.h"
#include "providers/globalskillprovider.h"
#include "registry/snippetregistry.h"
#include "search/snippetcountdisplay.h"
#include "watch/directorywatcher.h"

#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace korvane {

// Keeps the skill, project document, npm script and make target sources of the registry fresh between
// scans: watchers on the user's skill folders and on the current project call the one provider
// concerned on a background job and replace that source, or, while a scan runs, mark the source to
// be refreshed once the scan is done. Main thread; hold by std::shared_ptr (jobs hold it weakly).
class WatcherManager : public std::enable_shared_from_this<WatcherManager> {
public:
    // What the refresh jobs run. Every provider is called on background jobs.
    struct Sources {
        // The user's own skills; the global watchers watch its roots.
        std::shared_ptr<GlobalSkillProvider> globalSkills;
        // Makes the scanner of a project's skill files (the configuration's file scanner factory).
        std::function<std::shared_ptr<SnippetProvider>(const FileScannerOptions&)> fileScanner;
        std::shared_ptr<SnippetProvider> npmScripts;
        std::shared_ptr<SnippetProvider> makeTargets;

        // `globalSkills`, a walking file scanner, and the npm and make providers.
        static Sources standard(std::shared_ptr<GlobalSkillProvider> globalSkills);
    };

    static constexpr std::array<std::string_view, 4> documentNames{"CLAUDE.md", "AGENTS.md", "README.md",
                                                                   "readme.md"};
    static constexpr std::array<std::string_view, 6> makeFileNames{"Makefile", "makefile",  "GNUmakefile",
                                                                   "justfile", "Justfile", "Taskfile.yml"};
    static constexpr double skillsDebounce = 0.5;
    static constexpr double documentsDebounce = 0.5;
    static constexpr double packageJSONDebounce = 1.0;
    static constexpr double makeFilesDebounce = 1.0;
    // Deep enough for ".claude/skills/<name>/SKILL.md" (depth 4): a shallower walk of a project
    // without git would find none of the skills the scan found, and a skill edit would remove them all.
    static constexpr std::int64_t projectSkillDepth = 4;

    // Every built-in source enabled: the default categories over a catalog without custom providers.
    static EnabledSourcesSnapshot defaultEnabledSourcesSnapshot();

    // `scheduler` and the watch source outlive the manager.
    WatcherManager(std::shared_ptr<SnippetRegistry> registry, std::shared_ptr<SnippetCountDisplay> statusBar,
                   Scheduler& scheduler, std::shared_ptr<FileWatchSource> watchSource, Sources sources);

    std::function<bool()> isScanInFlight = [] { return false; };
    std::function<std::optional<std::string>()> getCurrentProjectRoot = [] { return std::nullopt; };
    std::function<EnabledSourcesSnapshot()> enabledSourcesSnapshot = [] { return defaultEnabledSourcesSnapshot(); };
    // After every refresh that reached the registry.
    std::function<void()> onSourceRefreshed;

    void startGlobalSkillWatchers();
    void startProjectWatchers(const std::string& root);
    // Stops the project's watchers; the global skill watchers stay.
    void stopAllWatchers();
    // Refreshes, once each, the sources marked while scans ran, for `root` (skills also without one).
    void refreshDirtySources(const std::optional<std::string>& root);

    const std::vector<std::shared_ptr<DirectoryWatcher>>& globalSkillWatchers() const { return globalSkillWatchers_; }
    const std::vector<std::shared_ptr<DirectoryWatcher>>& projectWatchers() const { return projectWatchers_; }
    const std::unordered_set<SnippetSource>& dirtyWatcherSources() const { return dirtyWatcherSources_; }

private:
    using FileDate = std::optional<std::filesystem::file_time_type>;
    using Root = std::optional<std::string>;

    static FileDate modificationDate(const std::string& path);
    bool isEnabled(const SnippetSource& source) const;
    std::shared_ptr<DirectoryWatcher> watch(const std::string& path, double debounce, std::function<void()> handler);

    void handleGlobalSkillsChange();
    void handleSkillsDirectoryChange(const std::string& root);
    void handleDocsDirectoryChange(const std::string& root, std::map<std::string, std::filesystem::file_time_type>& dates);
    void handlePackageJSONChange(const std::string& root, const std::string& path, FileDate& date);
    void handleMakeFilesChange(const std::string& root, std::map<std::string, FileDate>& dates);

    // Rescans the global skills, then refreshes the skill source for `root`, or for the current root
    // read once the rescan is done when `root` is not given.
    void startGlobalSkillsJob(std::optional<Root> root);
    void refreshSkills(const Root& root);
    void refreshDocuments(const std::string& root);
    void refreshProvider(const SnippetSource& source, const std::shared_ptr<SnippetProvider>& provider,
                         const std::string& root);
    // Applies `snippets` to `source` when `root` is still the current project root.
    void applyIfCurrent(const SnippetSource& source, std::vector<Snippet> snippets, const Root& root);
    void apply(const SnippetSource& source, std::vector<Snippet> snippets);

    std::shared_ptr<SnippetRegistry> registry_;
    std::shared_ptr<SnippetCountDisplay> statusBar_;
    Scheduler& scheduler_;
    std::shared_ptr<FileWatchSource> watchSource_;
    Sources sources_;
    std::vector<std::shared_ptr<DirectoryWatcher>> globalSkillWatchers_;
    std::vector<std::shared_ptr<DirectoryWatcher>> projectWatchers_;
    std::unordered_set<SnippetSource> dirtyWatcherSources_;
};

} // namespace korvane
