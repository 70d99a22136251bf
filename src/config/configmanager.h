#pragma once

#include "config/appconfig.h"
#include "config/configloader.h"
#include "config/mergedconfig.h"
#include "config/popupposition.h"
#include "config/projectconfig.h"
#include "config/projectconfigwatcher.h"
#include "config/projecttruststore.h"
#include "config/providerfactories.h"
#include "config/searchcontext.h"
#include "config/themeconfig.h"
#include "model/snippet.h"
#include "model/snippetscope.h"
#include "platform/platformcapabilities.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The one owner of the configuration at run time: the global file, the current project's file and
// their merge, and what is derived from them (application snippet sets, active categories, scan
// providers, search context, manual snippet sets, theme). Main thread only.
class ConfigManager {
public:
    struct GlobalReloadResult {
        bool changed = false;
        std::optional<std::string> parseError;
    };

    // What a manual snippet set is built for: an application, a project root (none without a
    // project) and a configuration version. Compared field by field, so that no application or
    // root name can stand for another one.
    struct ManualCacheKey {
        std::string bundleID;
        std::optional<std::string> projectRoot;
        std::uint64_t configVersion = 0;
        // Whether the project's snippets were trusted: trust taken back in the store (an entry removed
        // by hand) makes the next set the user's own again.
        bool projectTrusted = false;

        auto operator<=>(const ManualCacheKey&) const = default;
    };

    ConfigManager(ConfigLoader configLoader, ProjectConfigWatcher::Factory watcherFactory,
                  std::shared_ptr<const PlatformCapabilities> capabilities);

    // Installed by the application once the provider libraries are linked in.
    ProviderFactories providerFactories;

    void loadGlobalConfig();
    // `changed` tells whether a rescan is needed; `parseError` is the failure of this load, if any.
    GlobalReloadResult reloadGlobalConfig();
    void setProjectRoot(const std::string& projectRoot);
    void clearProjectConfig();
    // Whether the scan inputs, the active categories or the project's trust changed.
    bool reloadProjectConfig();

    // Replaces the project watcher; a root without a project file gets none.
    void startProjectConfigWatcher(const std::string& projectRoot, std::function<void()> onChange);
    void stopProjectConfigWatcher();

    ProviderSet makeProviders() const;
    // The loaded project when its own file defines provider commands, snippets replacing keys the user
    // already has, or snippets whose text holds a line break, that the user has not trusted; those
    // commands do not run and those snippets wait until `trustProjectCommands` stores the request.
    std::vector<ProjectTrustRequest> projectsAwaitingTrust() const;
    // Afterwards the caller rebuilds the providers so that the trusted commands run.
    Expected<void, std::string> trustProjectCommands(const ProjectTrustRequest& request);
    // Whether the loaded project's file is trusted as it stands; false without a project, and for a
    // project that holds nothing to trust.
    bool projectTrusted() const;
    // The current project folder while the user may trust the folder itself: its own file asks for no
    // trust (there is none, or it holds nothing to trust) and the folder is not trusted yet.
    std::optional<std::string> folderAwaitingTrust() const;
    // Trusts `folder` itself: the user's own commands started there run git with the repository's own
    // configuration. Commands and snippets of a project file in it still wait for their own trust.
    Expected<void, std::string> trustFolder(const std::string& folder);
    // The current project folder while it is trusted: itself, or as the root of the project whose file
    // is trusted as it stands.
    std::optional<std::string> trustedFolder() const;
    // Takes back the trust of `folder` and of the project rooted there; trusting again undoes it.
    Expected<void, std::string> stopTrusting(const std::string& folder);
    // Called when the trust store changed on disk: derives again what depends on the current project's
    // trust (its snippets in the merged configuration and the manual sets). True when that trust, the
    // project's or its folder's, differs from what was last derived, so that the caller rebuilds the
    // providers, the registry's snippets and the tray's offers; false for the store's own writes.
    bool reloadTrust();
    // Whether `snippet`'s text is the user's to expand with the clipboard and other snippets: their own
    // snippets and command output, and a project's snippets once trusted; never text a project made.
    bool expandsWithUserContent(const Snippet& snippet) const;
    SearchContext makeSearchContext() const;
    PopupPosition popupPosition(const std::optional<std::string>& bundleID) const;

    // The built-in, global, application and project snippets for one application, combined by key.
    std::vector<Snippet> mergedManualSnippets(const std::string& bundleID,
                                              const std::optional<std::string>& projectRoot);
    // True, and remembered, when the registry has not yet received this set.
    bool shouldUpdateManualSnippets(const std::string& bundleID,
                                    const std::optional<std::string>& projectRoot);
    void markManualSnippetsUpdated(const std::string& bundleID,
                                   const std::optional<std::string>& projectRoot);
    // The registry snippet of one configured snippet, or none when the snippet is invalid.
    static std::optional<Snippet> makeSnippet(const ManualSnippet& snippet, SnippetScope scope,
                                              bool isBuiltin);

    ThemeConfig themeConfig() const;

    ConfigLoader& configLoader() { return configLoader_; }
    const AppConfig& globalConfig() const { return globalConfig_; }
    const std::optional<ProjectConfig>& projectConfig() const { return projectConfig_; }
    const MergedConfig& mergedConfig() const { return mergedConfig_; }
    const std::optional<std::string>& currentConfigProjectRoot() const { return currentConfigProjectRoot_; }
    const std::shared_ptr<ProjectConfigWatcher>& projectConfigWatcher() const {
        return projectConfigWatcher_;
    }
    const std::map<std::string, std::vector<ManualSnippet>>& appSnippetDict() const {
        return appSnippetDict_;
    }
    const std::map<std::string, PopupPosition>& appPositionDict() const { return appPositionDict_; }
    const std::vector<std::string>& activeCategories() const { return activeCategories_; }
    const std::map<ManualCacheKey, std::vector<Snippet>>& mergedManualCache() const {
        return mergedManualCache_;
    }
    std::uint64_t configVersion() const { return configVersion_; }
    const std::optional<ManualCacheKey>& lastManualUpdateKey() const { return lastManualUpdateKey_; }

private:
    void rebuildAppDictionaries();
    void mergeWithProject();
    void recomputeActiveCategories();
    void beginNewVersion();
    ManualCacheKey manualCacheKey(const std::string& bundleID,
                                  const std::optional<std::string>& projectRoot) const;
    std::vector<Snippet> buildManualSnippets(const std::string& bundleID) const;
    void dropManualSetsIfProjectChanged(const std::string& projectRoot);
    void forgetRootsLeftBehind();
    std::vector<CustomProviderConfig> customConfigurations() const;
    std::optional<ProjectTrustRequest> projectTrustRequest() const;
    // The loaded project's valid snippets whose keys a built-in, global or application snippet has.
    std::vector<ManualSnippet> overridingProjectSnippets() const;
    // The loaded project's valid snippets of which `holds` is true.
    std::vector<ManualSnippet> validProjectSnippets(bool (*holds)(const ManualSnippet&)) const;

    // What the store says of the loaded project now: whether its file is trusted as it stands, and
    // whether its folder is trusted itself.
    struct TrustState {
        bool project = false;
        bool folder = false;
        bool operator==(const TrustState&) const = default;
    };
    TrustState currentTrust() const;

    ConfigLoader configLoader_;
    ProjectConfigWatcher::Factory watcherFactory_;
    std::shared_ptr<const PlatformCapabilities> capabilities_;

    AppConfig globalConfig_;
    std::optional<ProjectConfig> projectConfig_;
    MergedConfig mergedConfig_;
    std::optional<std::string> currentConfigProjectRoot_;
    std::shared_ptr<ProjectConfigWatcher> projectConfigWatcher_;
    std::map<std::string, std::vector<ManualSnippet>> appSnippetDict_;
    std::map<std::string, PopupPosition> appPositionDict_;
    std::vector<std::string> activeCategories_;
    // The sets of the loaded project only (of no project when none is).
    std::map<ManualCacheKey, std::vector<Snippet>> mergedManualCache_;
    // The snippets of the loaded project's file as last read. Its cached sets, and the set the
    // registry holds for it, are good only while its file reads the same.
    std::map<std::string, std::optional<std::vector<ManualSnippet>>> readProjectSnippets_;
    std::uint64_t configVersion_ = 0;
    std::optional<ManualCacheKey> lastManualUpdateKey_;
    // Shared with the trusted project commands, which ask it again before every run.
    std::shared_ptr<ProjectTrustStore> trustStore_;
    // The trust that the merged configuration and the caller's providers and offers were derived with.
    TrustState derivedTrust_;
};

} // namespace korvane
