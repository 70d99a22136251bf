#include "config/configmanager.h"

#include "base/controlcharacters.h"
#include "base/diagnostics.h"
#include "base/unicode.h"
#include "config/builtinsnippets.h"
#include "config/categorycatalog.h"
#include "config/configpaths.h"
#include "config/enabledsourcespolicy.h"
#include "config/scoperegistry.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <system_error>
#include <unordered_map>

namespace korvane {
namespace {

// Whether a project scan has to run again: the walk, the git refs or the custom commands differ.
bool scanInputsChanged(const MergedConfig& before, const MergedConfig& after) {
    return before.settings.scanDepth != after.settings.scanDepth ||
           before.settings.ignorePatterns != after.settings.ignorePatterns ||
           before.settings.maxBranchAgeDays != after.settings.maxBranchAgeDays ||
           before.customProviders != after.customProviders;
}

// The links a project's snippet may open before the project is trusted.
bool isWebOrMailURL(const std::string& url) {
    const auto colon = url.find(':');
    const std::string scheme = asciiLowercased(url.substr(0, colon == std::string::npos ? 0 : colon));
    return scheme == "http" || scheme == "https" || scheme == "mailto";
}

bool holdsLineBreak(const ManualSnippet& snippet) {
    return snippet.expand && ControlCharacters::holdsLineBreak(*snippet.expand);
}

bool opensOtherLink(const ManualSnippet& snippet) {
    return snippet.url && !isWebOrMailURL(*snippet.url);
}

// Why a snippet of a project not trusted waits for trust, or none when it is offered before. A line
// typed into a terminal runs as a command when the next one begins.
std::optional<std::string> reasonToWaitForTrust(const ManualSnippet& snippet, bool replacesUserKey) {
    if (replacesUserKey) {
        return "the key stays the user's";
    }
    if (opensOtherLink(snippet)) {
        return "only http, https and mailto links open before";
    }
    if (holdsLineBreak(snippet)) {
        return "its text holds a line break";
    }
    return std::nullopt;
}

bool fileExists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Configured snippets keyed by key, later layers replacing earlier ones; keys keep the position
// where they first appeared.
class ManualMergeTable {
public:
    void insert(const ManualSnippet& snippet, SnippetScope scope, bool isBuiltin) {
        // An invalid snippet is dropped later; letting it in here would also drop the valid snippet
        // of a lower layer that it replaced.
        if (snippet.validationError()) {
            return;
        }
        Entry entry{snippet, scope, isBuiltin};
        if (auto it = positions_.find(snippet.key); it != positions_.end()) {
            entries_[it->second] = std::move(entry);
            return;
        }
        positions_.emplace(snippet.key, entries_.size());
        entries_.push_back(std::move(entry));
    }

    bool contains(const std::string& key) const { return positions_.contains(key); }

    std::vector<Snippet> snippets() const {
        std::vector<Snippet> result;
        result.reserve(entries_.size());
        for (const auto& entry : entries_) {
            if (auto snippet = ConfigManager::makeSnippet(entry.snippet, entry.scope, entry.isBuiltin)) {
                result.push_back(std::move(*snippet));
            }
        }
        return result;
    }

private:
    struct Entry {
        ManualSnippet snippet;
        SnippetScope scope;
        bool isBuiltin;
    };

    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> positions_;
};

} // namespace

ConfigManager::ConfigManager(ConfigLoader configLoader, ProjectConfigWatcher::Factory watcherFactory,
                             std::shared_ptr<const PlatformCapabilities> capabilities)
    : configLoader_(std::move(configLoader))
    , watcherFactory_(std::move(watcherFactory))
    , capabilities_(std::move(capabilities))
    , mergedConfig_(MergedConfig::fromGlobal(globalConfig_))
    , activeCategories_(defaultActiveCategories())
    , trustStore_(std::make_shared<ProjectTrustStore>(configLoader_.configFilePath().parent_path() /
                                                      ProjectTrustStore::kFileName)) {}

void ConfigManager::loadGlobalConfig() {
    configLoader_.ensureConfigFile();
    globalConfig_ = configLoader_.loadConfig();
    mergedConfig_ = MergedConfig::fromGlobal(globalConfig_);
    rebuildAppDictionaries();
    recomputeActiveCategories();
}

ConfigManager::GlobalReloadResult ConfigManager::reloadGlobalConfig() {
    const auto previousCategories = activeCategories_;
    const auto previousMerged = mergedConfig_;
    const TrustState previousTrust = derivedTrust_;
    globalConfig_ = configLoader_.loadConfig();
    rebuildAppDictionaries();
    mergeWithProject();
    beginNewVersion();
    recomputeActiveCategories();
    // A key of the user's that a project's snippet now replaces voids the project's trust: what its
    // commands printed goes with it, as when trust is taken back.
    return GlobalReloadResult{
        .changed = scanInputsChanged(previousMerged, mergedConfig_) ||
                   activeCategories_ != previousCategories || derivedTrust_ != previousTrust,
        .parseError = configLoader_.lastParseError(),
    };
}

void ConfigManager::setProjectRoot(const std::string& projectRoot) {
    currentConfigProjectRoot_ = projectRoot;
    projectConfig_ = configLoader_.loadProjectConfig(projectRoot);
    forgetRootsLeftBehind();
    // Only the current project's file is watched; this one may have changed while it was not.
    dropManualSetsIfProjectChanged(projectRoot);
    mergeWithProject();
    recomputeActiveCategories();
}

void ConfigManager::clearProjectConfig() {
    currentConfigProjectRoot_.reset();
    projectConfig_.reset();
    forgetRootsLeftBehind();
    mergedConfig_ = MergedConfig::fromGlobal(globalConfig_);
    derivedTrust_ = {};
    recomputeActiveCategories();
}

bool ConfigManager::reloadProjectConfig() {
    if (!currentConfigProjectRoot_) {
        return false;
    }
    const auto previousCategories = activeCategories_;
    const auto previousMerged = mergedConfig_;
    const TrustState previousTrust = derivedTrust_;
    projectConfig_ = configLoader_.loadProjectConfig(*currentConfigProjectRoot_);
    mergeWithProject();
    recomputeActiveCategories();
    beginNewVersion();
    dropManualSetsIfProjectChanged(*currentConfigProjectRoot_);
    // A source the project switches on must be scanned, just as after a global reload; so must the
    // project whose edited file is trusted no longer (or again), as when trust changes in the store.
    return scanInputsChanged(previousMerged, mergedConfig_) || activeCategories_ != previousCategories ||
           derivedTrust_ != previousTrust;
}

void ConfigManager::startProjectConfigWatcher(const std::string& projectRoot,
                                              std::function<void()> onChange) {
    stopProjectConfigWatcher();
    if (!watcherFactory_ || !fileExists(std::filesystem::path(projectRoot) / kProjectConfigFileName)) {
        return;
    }
    auto watcher = watcherFactory_(projectRoot);
    if (!watcher) {
        return;
    }
    watcher->onChange = std::move(onChange);
    watcher->start();
    projectConfigWatcher_ = std::move(watcher);
}

void ConfigManager::stopProjectConfigWatcher() {
    if (projectConfigWatcher_) {
        projectConfigWatcher_->stop();
        projectConfigWatcher_.reset();
    }
}

ProviderSet ConfigManager::makeProviders() const {
    ProviderSet set;
    const auto customs = customConfigurations();
    const auto sources =
        EnabledSourcesPolicy::resolve(activeCategories_, CategoryCatalog::makeSnapshot(customs));
    const auto enabled = [&sources](const SnippetSource& source) { return sources.enabled.contains(source); };
    const auto add = [&set](ProviderFactories::Provider provider) {
        if (provider) {
            set.providers.push_back(std::move(provider));
        }
    };
    const ProviderFactories& make = providerFactories;

    if (make.manualSnippets) {
        add(make.manualSnippets(mergedConfig_.snippets));
    }
    if (make.filePaths) {
        if (auto files = make.filePaths()) {
            set.liveScopeProviders[SnippetSource::filePath()] = std::move(files);
        }
    }
    FileScannerOptions scanner;
    for (const auto& source : {SnippetSource::claudeSkill(), SnippetSource::aiDoc()}) {
        if (enabled(source)) {
            scanner.extractors.push_back(source);
        }
    }
    if (!scanner.extractors.empty() && make.fileScanner) {
        scanner.ignorePatterns = skippedDirectories();
        scanner.ignorePatterns.insert(mergedConfig_.settings.ignorePatterns.begin(),
                                      mergedConfig_.settings.ignorePatterns.end());
        scanner.maxDepth = mergedConfig_.settings.scanDepth;
        add(make.fileScanner(scanner));
    }
    if (enabled(SnippetSource::claudeSkill()) && make.globalSkills) {
        add(make.globalSkills());
    }
    if (enabled(SnippetSource::gitRef()) && make.gitRefs) {
        add(make.gitRefs(mergedConfig_.settings.maxBranchAgeDays));
    }
    if (enabled(SnippetSource::gitRemote()) && make.gitRemotes) {
        add(make.gitRemotes());
    }
    if (enabled(SnippetSource::npmScript()) && make.npmScripts) {
        add(make.npmScripts());
    }
    if (enabled(SnippetSource::makeTarget()) && make.makeTargets) {
        add(make.makeTargets());
    }
    // A project's own providers come from a file that anyone can put in a repository.
    std::set<std::string> projectIds;
    if (projectConfig_ && projectConfig_->customProviders) {
        for (const auto& provider : *projectConfig_->customProviders) {
            projectIds.insert(provider.id);
        }
    }
    const auto request = projectTrustRequest();
    const bool trusted = request && trustStore_->isTrusted(request->projectRoot, request->commandsDigest);
    // Trust taken back in the store (an entry removed by hand) holds from the next run on.
    std::weak_ptr<const ProjectTrustStore> store = trustStore_;
    std::function<bool()> projectStillTrusted;
    if (request) {
        projectStillTrusted = [store, root = request->projectRoot, digest = request->commandsDigest] {
            const auto current = store.lock();
            return current && current->isTrusted(root, digest);
        };
    }
    // A folder is trusted for itself, or as the root of the project the user trusted. Only the project's
    // own trust lets its commands run.
    const auto trustsFolder = [store, projectStillTrusted,
                               root = request ? request->projectRoot
                                              : std::string()](const std::string& folder) {
        const auto current = store.lock();
        return current && (current->isFolderTrusted(folder) ||
                           (projectStillTrusted && folder == root && projectStillTrusted()));
    };
    for (const auto& config : customs) {
        if (sources.disabled.contains(SnippetSource::custom(config.id)) || !make.custom) {
            continue;
        }
        CommandTrust trust;
        trust.trustsFolder = trustsFolder;
        if (projectIds.contains(config.id) && !trusted) {
            trust.untrustedProjectRoot = currentConfigProjectRoot_;
        } else if (projectIds.contains(config.id)) {
            trust.stillTrusted = projectStillTrusted;
        }
        auto provider = make.custom(config, trust);
        if (!provider) {
            continue;
        }
        if (config.mode == "live") {
            set.customLiveProviders[config.id] = std::move(provider);
        } else {
            set.providers.push_back(std::move(provider));
        }
    }
    return set;
}

bool ConfigManager::expandsWithUserContent(const Snippet& snippet) const {
    if (snippet.source == SnippetSource::manual()) {
        return snippet.scope != SnippetScope::project || projectTrusted();
    }
    return snippet.source.kind() == SnippetSource::Kind::custom;
}

SearchContext ConfigManager::makeSearchContext() const {
    const auto customs = customConfigurations();
    auto catalog = CategoryCatalog::makeSnapshot(customs);
    auto disabled = EnabledSourcesPolicy::resolve(activeCategories_, catalog).disabled;
    return SearchContext{
        .scopeRegistry = ScopeRegistry(customs),
        .categoryCatalog = std::move(catalog),
        .activeCategories = activeCategories_,
        .disabledSources = std::move(disabled),
    };
}

PopupPosition ConfigManager::popupPosition(const std::optional<std::string>& bundleID) const {
    if (bundleID) {
        if (auto it = appPositionDict_.find(*bundleID); it != appPositionDict_.end()) {
            return it->second;
        }
    }
    return mergedConfig_.settings.popupPosition.value_or(PopupPosition::automatic);
}

std::vector<Snippet> ConfigManager::mergedManualSnippets(const std::string& bundleID,
                                                         const std::optional<std::string>& projectRoot) {
    const auto key = manualCacheKey(bundleID, projectRoot);
    if (auto it = mergedManualCache_.find(key); it != mergedManualCache_.end()) {
        return it->second;
    }
    auto snippets = buildManualSnippets(bundleID);
    // The set holds the snippets of the project that is loaded; under another root's key it would
    // be served for that root later.
    if (projectRoot == currentConfigProjectRoot_) {
        mergedManualCache_[key] = snippets;
    }
    return snippets;
}

bool ConfigManager::shouldUpdateManualSnippets(const std::string& bundleID,
                                               const std::optional<std::string>& projectRoot) {
    auto key = manualCacheKey(bundleID, projectRoot);
    if (lastManualUpdateKey_ == key) {
        return false;
    }
    lastManualUpdateKey_ = std::move(key);
    return true;
}

void ConfigManager::markManualSnippetsUpdated(const std::string& bundleID,
                                              const std::optional<std::string>& projectRoot) {
    lastManualUpdateKey_ = manualCacheKey(bundleID, projectRoot);
}

std::optional<Snippet> ConfigManager::makeSnippet(const ManualSnippet& snippet, SnippetScope scope,
                                                  bool isBuiltin) {
    if (snippet.validationError()) {
        return std::nullopt;
    }
    Snippet result;
    result.id = (isBuiltin ? "builtin:" : "manual:") + snippet.key;
    result.label = snippet.key;
    result.expansion = snippet.expand.value_or("");
    result.source = SnippetSource::manual();
    result.description = snippet.description;
    if (snippet.label && !snippet.label->empty()) {
        result.displayName = snippet.label;
    }
    result.url = snippet.url;
    result.scope = scope;
    return result;
}

ThemeConfig ConfigManager::themeConfig() const {
    // Appearance belongs to the user, not the project, so only the global settings count.
    const bool glass = capabilities_ && capabilities_->supportsGlass();
    return ThemeConfig::fromSettings(globalConfig_.settings, glass);
}

void ConfigManager::rebuildAppDictionaries() {
    appSnippetDict_ = ConfigLoader::appSnippetsByBundleId(globalConfig_);
    appPositionDict_.clear();
    for (const auto& app : globalConfig_.appSnippets.value_or(std::vector<AppSnippetConfig>{})) {
        if (app.popupPosition) {
            appPositionDict_[app.bundleId] = *app.popupPosition;
        }
    }
}

void ConfigManager::mergeWithProject() {
    derivedTrust_ = currentTrust();
    if (!projectConfig_) {
        mergedConfig_ = MergedConfig::fromGlobal(globalConfig_);
        return;
    }
    ProjectConfig project = *projectConfig_;
    if (project.snippets && !derivedTrust_.project) {
        // The same snippets wait for trust here as in the manual sets, so that no path through the
        // merged file hands the user's keys to the project.
        std::set<std::string> overriding;
        for (const auto& snippet : overridingProjectSnippets()) {
            overriding.insert(snippet.key);
        }
        std::erase_if(*project.snippets, [&overriding](const ManualSnippet& snippet) {
            return reasonToWaitForTrust(snippet, overriding.contains(snippet.key)).has_value();
        });
    }
    mergedConfig_ = MergedConfig::merge(globalConfig_, project);
}

void ConfigManager::recomputeActiveCategories() {
    // The user's commands follow the user's own list, as the settings window shows them.
    activeCategories_ = resolveActiveCategoryIds(mergedConfig_.providers, customConfigurations(),
                                                 commandsHiddenByUser(globalConfig_, projectConfig_));
}

void ConfigManager::beginNewVersion() {
    ++configVersion_;
    mergedManualCache_.clear();
    lastManualUpdateKey_.reset();
}

ConfigManager::ManualCacheKey
ConfigManager::manualCacheKey(const std::string& bundleID,
                              const std::optional<std::string>& projectRoot) const {
    return ManualCacheKey{bundleID, projectRoot, configVersion_, projectRoot.has_value() && projectTrusted()};
}

void ConfigManager::dropManualSetsIfProjectChanged(const std::string& projectRoot) {
    const std::optional<std::vector<ManualSnippet>> snippets =
        projectConfig_ ? projectConfig_->snippets : std::nullopt;
    const auto read = readProjectSnippets_.find(projectRoot);
    if (read != readProjectSnippets_.end() && read->second == snippets) {
        return;
    }
    readProjectSnippets_[projectRoot] = snippets;
    std::erase_if(mergedManualCache_,
                  [&projectRoot](const auto& entry) { return entry.first.projectRoot == projectRoot; });
    if (lastManualUpdateKey_ && lastManualUpdateKey_->projectRoot == projectRoot) {
        lastManualUpdateKey_.reset();
    }
}

// A set is only ever served for the loaded project, so those of the projects left behind are dropped,
// and with them what their files read: kept for every root ever visited, they grew with each new
// project. A project returned to is read and its set built again, as on a first visit.
void ConfigManager::forgetRootsLeftBehind() {
    std::erase_if(mergedManualCache_, [this](const auto& entry) {
        return entry.first.projectRoot != currentConfigProjectRoot_;
    });
    std::erase_if(readProjectSnippets_,
                  [this](const auto& entry) { return entry.first != currentConfigProjectRoot_; });
}

std::vector<Snippet> ConfigManager::buildManualSnippets(const std::string& bundleID) const {
    ManualMergeTable table;
    for (const auto& snippet : builtInSnippets()) {
        table.insert(snippet, SnippetScope::global, true);
    }
    for (const auto& snippet : globalConfig_.snippets) {
        table.insert(snippet, SnippetScope::global, false);
    }
    if (auto it = appSnippetDict_.find(bundleID); it != appSnippetDict_.end()) {
        for (const auto& snippet : it->second) {
            table.insert(snippet, SnippetScope::app, false);
        }
    }
    if (projectConfig_ && projectConfig_->snippets) {
        const bool trusted = projectTrusted();
        for (const auto& snippet : *projectConfig_->snippets) {
            if (const auto reason =
                    trusted ? std::nullopt : reasonToWaitForTrust(snippet, table.contains(snippet.key))) {
                diagnostic("Project snippet '" + snippet.key + "' waits for trust: " + *reason);
                continue;
            }
            table.insert(snippet, SnippetScope::project, false);
        }
    }
    return table.snippets();
}

std::optional<ProjectTrustRequest> ConfigManager::projectTrustRequest() const {
    if (!projectConfig_ || !currentConfigProjectRoot_) {
        return std::nullopt;
    }
    return ProjectTrustStore::request(
        *currentConfigProjectRoot_,
        projectConfig_->customProviders.value_or(std::vector<CustomProviderConfig>{}),
        overridingProjectSnippets(), validProjectSnippets(holdsLineBreak),
        validProjectSnippets(opensOtherLink));
}

std::vector<ManualSnippet> ConfigManager::validProjectSnippets(bool (*holds)(const ManualSnippet&)) const {
    std::vector<ManualSnippet> held;
    if (projectConfig_ && projectConfig_->snippets) {
        std::copy_if(
            projectConfig_->snippets->begin(), projectConfig_->snippets->end(), std::back_inserter(held),
            [holds](const ManualSnippet& snippet) { return !snippet.validationError() && holds(snippet); });
    }
    return held;
}

std::vector<ManualSnippet> ConfigManager::overridingProjectSnippets() const {
    std::vector<ManualSnippet> overriding;
    if (!projectConfig_ || !projectConfig_->snippets) {
        return overriding;
    }
    std::set<std::string> userKeys;
    const auto addKeys = [&userKeys](const std::vector<ManualSnippet>& snippets) {
        for (const auto& snippet : snippets) {
            if (!snippet.validationError()) {
                userKeys.insert(snippet.key);
            }
        }
    };
    addKeys(builtInSnippets());
    addKeys(globalConfig_.snippets);
    for (const auto& [bundleID, snippets] : appSnippetDict_) {
        addKeys(snippets);
    }
    for (const auto& snippet : *projectConfig_->snippets) {
        if (!snippet.validationError() && userKeys.contains(snippet.key)) {
            overriding.push_back(snippet);
        }
    }
    return overriding;
}

std::vector<CustomProviderConfig> ConfigManager::customConfigurations() const {
    return mergedConfig_.customProviders.value_or(std::vector<CustomProviderConfig>{});
}

} // namespace korvane
