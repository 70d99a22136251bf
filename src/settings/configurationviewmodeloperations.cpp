// The editing operations of the settings view model: applications, snippets, popup position and
// the order of the sources.

#include "base/unicode.h"
#include "settings/configurationviewmodel.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::string_view kWhiteSpace = " \t\n\r\v\f";

bool isBlank(const std::string& text) {
    return trimmedAscii(text, kWhiteSpace).empty();
}

// The entry of `bundleId` that takes effect: the last one, as a repeated application's last block
// is the one Korvane uses.
AppSnippetConfig* winningEntry(AppConfig& config, const std::optional<std::string>& bundleId) {
    if (!bundleId || !config.appSnippets) {
        return nullptr;
    }
    auto& apps = *config.appSnippets;
    const auto found = std::find_if(apps.rbegin(), apps.rend(),
                                    [&](const AppSnippetConfig& app) { return app.bundleId == *bundleId; });
    return found == apps.rend() ? nullptr : &*found;
}

// The position of the snippet a row stands for: `index` when it still holds `key`, else the first
// snippet with `key`.
std::optional<std::size_t> positionOf(const std::vector<ManualSnippet>& snippets, const std::string& key,
                                      std::optional<std::size_t> index) {
    if (index && *index < snippets.size() && snippets[*index].key == key) {
        return index;
    }
    const auto found = std::find_if(snippets.begin(), snippets.end(),
                                    [&](const ManualSnippet& snippet) { return snippet.key == key; });
    return found == snippets.end() ? std::nullopt : std::optional<std::size_t>(found - snippets.begin());
}

void storeSnippet(std::vector<ManualSnippet>& snippets, const ManualSnippet& snippet,
                  const std::optional<std::string>& previousKey, std::optional<std::size_t> previousIndex) {
    const auto position = previousKey ? positionOf(snippets, *previousKey, previousIndex) : std::nullopt;
    if (position) {
        snippets[*position] = snippet;
    } else {
        snippets.push_back(snippet);
    }
}

// Removes the row's snippet when `index` names one with `key`, else every snippet with `key`.
void removeSnippet(std::vector<ManualSnippet>& snippets, const std::string& key,
                   std::optional<std::size_t> index) {
    if (index && *index < snippets.size() && snippets[*index].key == key) {
        snippets.erase(snippets.begin() + static_cast<std::ptrdiff_t>(*index));
        return;
    }
    std::erase_if(snippets, [&](const ManualSnippet& snippet) { return snippet.key == key; });
}

} // namespace

void ConfigurationViewModel::addApp(const std::string& bundleId, const std::string& name) {
    if (isBlank(bundleId)) {
        setAppError("Bundle ID cannot be empty");
        return;
    }
    if (isBlank(name)) {
        setAppError("App name cannot be empty");
        return;
    }
    const auto& apps = draftConfig_.appSnippets;
    if (apps && std::any_of(apps->begin(), apps->end(),
                            [&](const AppSnippetConfig& app) { return app.bundleId == bundleId; })) {
        setAppError("App with bundle ID '" + bundleId + "' already exists");
        return;
    }
    setAppError(std::nullopt);
    if (!draftConfig_.appSnippets) {
        draftConfig_.appSnippets.emplace();
    }
    draftConfig_.appSnippets->push_back(AppSnippetConfig{bundleId, name, {}, std::nullopt});
    notify(Field::draftConfig);
    setSelectedAppBundleId(bundleId);
    scheduleSave();
}

void ConfigurationViewModel::removeApp(const std::string& bundleId) {
    if (draftConfig_.appSnippets) {
        std::erase_if(*draftConfig_.appSnippets,
                      [&](const AppSnippetConfig& app) { return app.bundleId == bundleId; });
        if (draftConfig_.appSnippets->empty()) {
            draftConfig_.appSnippets.reset();
        }
    }
    notify(Field::draftConfig);
    if (selectedAppBundleId_ == bundleId) {
        setSelectedAppBundleId(std::nullopt);
    }
    scheduleSave();
}

void ConfigurationViewModel::saveSnippet(const ManualSnippet& snippet,
                                         const std::optional<std::string>& previousKey,
                                         std::optional<std::size_t> previousIndex) {
    if (auto message = snippet.validationError()) {
        setSnippetError(std::move(message));
        return;
    }
    if (!previousKey || *previousKey != snippet.key) {
        const auto scope = currentSnippets();
        if (std::any_of(scope.begin(), scope.end(),
                        [&](const ManualSnippet& other) { return other.key == snippet.key; })) {
            setSnippetError("Key '" + snippet.key + "' already exists in this context");
            return;
        }
    }
    setSnippetError(std::nullopt);
    if (!selectedAppBundleId_) {
        storeSnippet(draftConfig_.snippets, snippet, previousKey, previousIndex);
    } else if (AppSnippetConfig* app = winningEntry(draftConfig_, selectedAppBundleId_)) {
        storeSnippet(app->snippets, snippet, previousKey, previousIndex);
    } else {
        return;
    }
    notify(Field::draftConfig);
    setExpandedSnippetKey(std::nullopt);
    setExpandedSnippetIndex(std::nullopt);
    setIsAddingNewSnippet(false);
    scheduleSave();
}

void ConfigurationViewModel::deleteSnippet(const std::optional<std::string>& key,
                                           std::optional<std::size_t> index) {
    const std::optional<std::string> target = key ? key : selectedSnippetKey_;
    if (!target) {
        return;
    }
    const std::optional<std::size_t> position = key ? index : selectedSnippetIndex_;
    if (!selectedAppBundleId_) {
        removeSnippet(draftConfig_.snippets, *target, position);
    } else if (AppSnippetConfig* app = winningEntry(draftConfig_, selectedAppBundleId_)) {
        removeSnippet(app->snippets, *target, position);
    } else {
        return;
    }
    notify(Field::draftConfig);
    setSelectedSnippetKey(std::nullopt);
    setSelectedSnippetIndex(std::nullopt);
    scheduleSave();
}

void ConfigurationViewModel::setPopupPosition(std::optional<PopupPosition> position) {
    AppSnippetConfig* app = winningEntry(draftConfig_, selectedAppBundleId_);
    if (!app) {
        return;
    }
    // "auto" is the absence of a position: the key is left out of the file.
    app->popupPosition = position == PopupPosition::automatic ? std::nullopt : position;
    notify(Field::draftConfig);
    scheduleSave();
}

void ConfigurationViewModel::toggleCategory(const std::string& id) {
    std::vector<std::string> enabled = enabledCategoryIds();
    if (std::find(enabled.begin(), enabled.end(), id) == enabled.end()) {
        enableCategory(id);
        return;
    }
    std::erase(enabled, id);
    setCategoryOrder(std::move(enabled));
}

void ConfigurationViewModel::enableCategory(const std::string& id) {
    std::vector<std::string> enabled = enabledCategoryIds();
    if (std::find(enabled.begin(), enabled.end(), id) != enabled.end()) {
        return;
    }
    enabled.push_back(id);
    setCategoryOrder(std::move(enabled));
}

void ConfigurationViewModel::setCategoryOrder(std::vector<std::string> ids) {
    draftConfig_.providers = std::move(ids);
    notify(Field::draftConfig);
    scheduleSave();
}

} // namespace korvane
