#include "settings/configurationviewmodel.h"

#include "base/unicode.h"
#include "config/mergedconfig.h"

#include <algorithm>
#include <set>

namespace korvane {
namespace {

// Sets `field` to `value` and reports whether it changed.
template <typename T> bool assign(T& field, T value) {
    if (field == value) {
        return false;
    }
    field = std::move(value);
    return true;
}

bool containsLowercased(std::string_view text, const std::string& query) {
    return lowercased(text).find(query) != std::string::npos;
}

bool containsLowercased(const std::optional<std::string>& text, const std::string& query) {
    return text && containsLowercased(std::string_view(*text), query);
}

// The search filter: a plain substring of the lower-cased key, label or expansion.
bool matchesQuery(const ManualSnippet& snippet, const std::string& query) {
    return containsLowercased(std::string_view(snippet.key), query) ||
           containsLowercased(snippet.label, query) || containsLowercased(snippet.expand, query);
}

} // namespace

ConfigurationViewModel::ConfigurationViewModel(ConfigStore& configLoader, Scheduler& scheduler,
                                               std::function<std::optional<AppRecord>()> getLastNonKorvaneApp,
                                               std::function<std::vector<AppRecord>()> getRecentApps)
    : getLastNonKorvaneApp(std::move(getLastNonKorvaneApp))
    , getRecentApps(std::move(getRecentApps))
    , configLoader_(configLoader)
    , scheduler_(scheduler) {
    auto loaded = configLoader_.loadForEditing();
    if (loaded) {
        draftConfig_ = std::move(*loaded);
        lastSaved_ = draftConfig_;
    } else {
        reportUnparsableFile(loaded.error());
    }
    lastSavedData_ = encodeDraft(draftConfig_);
}

ConfigurationViewModel::~ConfigurationViewModel() {
    // No observer is told: the views that observed the model are gone before it.
    if (saveTask_) {
        saveTask_->cancel();
    }
}

ConfigurationViewModel::ObserverID ConfigurationViewModel::addObserver(std::function<void(Field)> observer) {
    const ObserverID id = nextObserverID_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void ConfigurationViewModel::removeObserver(ObserverID id) {
    observers_.erase(id);
}

void ConfigurationViewModel::notify(Field field) {
    // A copy, so that an observer may remove itself or add another while it runs.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers) {
        if (observer) {
            observer(field);
        }
    }
}

void ConfigurationViewModel::setDraftConfig(AppConfig config) {
    draftConfig_ = std::move(config);
    notify(Field::draftConfig);
}

void ConfigurationViewModel::setSelectedAppBundleId(std::optional<std::string> bundleId) {
    if (assign(selectedAppBundleId_, std::move(bundleId))) {
        notify(Field::selectedAppBundleId);
    }
}

void ConfigurationViewModel::setSnippetSearchQuery(std::string query) {
    if (assign(snippetSearchQuery_, std::move(query))) {
        notify(Field::snippetSearchQuery);
    }
}

void ConfigurationViewModel::setSelectedSnippetKey(std::optional<std::string> key) {
    if (assign(selectedSnippetKey_, std::move(key))) {
        notify(Field::selectedSnippetKey);
    }
}

void ConfigurationViewModel::setSelectedSnippetIndex(std::optional<std::size_t> index) {
    if (assign(selectedSnippetIndex_, index)) {
        notify(Field::selectedSnippetIndex);
    }
}

void ConfigurationViewModel::setExpandedSnippetKey(std::optional<std::string> key) {
    if (assign(expandedSnippetKey_, std::move(key))) {
        notify(Field::expandedSnippetKey);
    }
}

void ConfigurationViewModel::setExpandedSnippetIndex(std::optional<std::size_t> index) {
    if (assign(expandedSnippetIndex_, index)) {
        notify(Field::expandedSnippetIndex);
    }
}

void ConfigurationViewModel::setIsAddingNewSnippet(bool adding) {
    if (assign(isAddingNewSnippet_, adding)) {
        notify(Field::isAddingNewSnippet);
    }
}

void ConfigurationViewModel::setSnippetError(std::optional<std::string> message) {
    if (assign(snippetError_, std::move(message))) {
        notify(Field::snippetError);
    }
}

void ConfigurationViewModel::setShowingAppCapture(bool showing) {
    if (assign(showingAppCapture_, showing)) {
        notify(Field::showingAppCapture);
    }
}

void ConfigurationViewModel::setAppError(std::optional<std::string> message) {
    if (assign(appError_, std::move(message))) {
        notify(Field::appError);
    }
}

bool ConfigurationViewModel::hasPendingSave() const {
    return saveTask_.has_value();
}

// Derived values.

std::optional<AppSnippetConfig> ConfigurationViewModel::selectedApp() const {
    if (!selectedAppBundleId_ || !draftConfig_.appSnippets) {
        return std::nullopt;
    }
    const auto& apps = *draftConfig_.appSnippets;
    const auto found = std::find_if(apps.rbegin(), apps.rend(), [&](const AppSnippetConfig& app) {
        return app.bundleId == *selectedAppBundleId_;
    });
    return found == apps.rend() ? std::nullopt : std::optional(*found);
}

std::vector<ManualSnippet> ConfigurationViewModel::currentSnippets() const {
    if (!selectedAppBundleId_) {
        return draftConfig_.snippets;
    }
    auto app = selectedApp();
    return app ? std::move(app->snippets) : std::vector<ManualSnippet>{};
}

std::vector<ConfigurationViewModel::SnippetRow> ConfigurationViewModel::filteredSnippetRows() const {
    std::vector<ManualSnippet> snippets = currentSnippets();
    const std::string query = lowercased(snippetSearchQuery_);
    std::vector<SnippetRow> rows;
    for (std::size_t index = 0; index < snippets.size(); ++index) {
        const ManualSnippet& snippet = snippets[index];
        if (snippetSearchQuery_.empty() || matchesQuery(snippet, query)) {
            rows.push_back({index, std::move(snippets[index])});
        }
    }
    return rows;
}

std::vector<ManualSnippet> ConfigurationViewModel::filteredSnippets() const {
    std::vector<ManualSnippet> snippets;
    for (auto& row : filteredSnippetRows()) {
        snippets.push_back(std::move(row.snippet));
    }
    return snippets;
}

std::vector<AppSnippetConfig> ConfigurationViewModel::shownApps() const {
    std::vector<AppSnippetConfig> shown;
    if (!draftConfig_.appSnippets) {
        return shown;
    }
    const auto& apps = *draftConfig_.appSnippets;
    std::set<std::string> seen;
    for (const auto& app : apps) {
        if (!seen.insert(app.bundleId).second) {
            continue;
        }
        const auto winner = std::find_if(apps.rbegin(), apps.rend(), [&](const AppSnippetConfig& other) {
            return other.bundleId == app.bundleId;
        });
        shown.push_back(*winner);
    }
    return shown;
}

std::vector<std::string> ConfigurationViewModel::defaultCategoryIds() const {
    return defaultShownCategoryIds(
        draftConfig_.customProviders.value_or(std::vector<CustomProviderConfig>{}));
}

CategoryCatalogSnapshot ConfigurationViewModel::categoryCatalog() const {
    return CategoryCatalog::makeSnapshot(
        draftConfig_.customProviders.value_or(std::vector<CustomProviderConfig>{}));
}

std::vector<std::string> ConfigurationViewModel::enabledCategoryIds() const {
    return userShownCategoryIds(draftConfig_.providers,
                                draftConfig_.customProviders.value_or(std::vector<CustomProviderConfig>{}));
}

std::vector<std::string> ConfigurationViewModel::hiddenCategoryIds() const {
    const std::vector<std::string> enabled = enabledCategoryIds();
    std::vector<std::string> hidden;
    for (auto& id : defaultCategoryIds()) {
        if (std::find(enabled.begin(), enabled.end(), id) == enabled.end()) {
            hidden.push_back(std::move(id));
        }
    }
    return hidden;
}

} // namespace korvane
