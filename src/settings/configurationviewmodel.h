#pragma once

#include "base/cancellationtoken.h"
#include "base/scheduler.h"
#include "config/appconfig.h"
#include "config/categorycatalog.h"
#include "config/configstore.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The one model behind the settings window: an editable draft of the global configuration, the
// selection and editor state of the snippets page, the validation messages, and the debounced save
// that writes the draft back 300 ms after the last change, only when it differs from what was last
// written or loaded, and without losing what someone else wrote to the file meanwhile. Views observe
// it field by field through addObserver(). Main thread only; held by std::shared_ptr, since its
// save task refers to it weakly.
class ConfigurationViewModel : public std::enable_shared_from_this<ConfigurationViewModel> {
public:
    // An application as the window offers it: its identifier and its name.
    struct AppRecord {
        std::string bundleID;
        std::string name;

        bool operator==(const AppRecord&) const = default;
    };

    // One row of the snippet list: the snippet and its position in `currentSnippets()`. Rows are
    // addressed by position, since a hand-edited file may hold one key twice.
    struct SnippetRow {
        std::size_t index = 0;
        ManualSnippet snippet;

        bool operator==(const SnippetRow&) const = default;
    };

    // The observable fields; an observer learns which one changed.
    enum class Field {
        draftConfig,
        selectedAppBundleId,
        snippetSearchQuery,
        selectedSnippetKey,
        selectedSnippetIndex,
        expandedSnippetKey,
        expandedSnippetIndex,
        isAddingNewSnippet,
        snippetError,
        showingAppCapture,
        appError,
        saveTask,
        saveGeneration,
        lastSavedData,
        configFileError,
    };

    using ObserverID = std::uint64_t;

    // The quiet time after the last change before the draft is written.
    static constexpr double saveDelay = 0.3;

    // Loads the draft from `configLoader`. The store and the scheduler must outlive the model;
    // create it with std::make_shared.
    ConfigurationViewModel(ConfigStore& configLoader, Scheduler& scheduler,
                           std::function<std::optional<AppRecord>()> getLastNonKorvaneApp,
                           std::function<std::vector<AppRecord>()> getRecentApps);
    // A pending save is dropped; the shell flushes it first when the window closes or Korvane quits.
    ~ConfigurationViewModel();

    ConfigurationViewModel(const ConfigurationViewModel&) = delete;
    ConfigurationViewModel& operator=(const ConfigurationViewModel&) = delete;

    // `observer` runs after every real change of a field (every setDraftConfig), until removed.
    ObserverID addObserver(std::function<void(Field)> observer);
    void removeObserver(ObserverID id);

    // Stored fields. Setters notify only on a real change, but setDraftConfig always notifies. None
    // of them schedules a save: pages that edit the draft call scheduleSave() after each change.
    const AppConfig& draftConfig() const { return draftConfig_; }
    void setDraftConfig(AppConfig config);
    const std::optional<std::string>& selectedAppBundleId() const { return selectedAppBundleId_; }
    void setSelectedAppBundleId(std::optional<std::string> bundleId);
    const std::string& snippetSearchQuery() const { return snippetSearchQuery_; }
    void setSnippetSearchQuery(std::string query);
    const std::optional<std::string>& selectedSnippetKey() const { return selectedSnippetKey_; }
    void setSelectedSnippetKey(std::optional<std::string> key);
    // Position in `currentSnippets()` of the selected row, beside its key.
    std::optional<std::size_t> selectedSnippetIndex() const { return selectedSnippetIndex_; }
    void setSelectedSnippetIndex(std::optional<std::size_t> index);
    const std::optional<std::string>& expandedSnippetKey() const { return expandedSnippetKey_; }
    void setExpandedSnippetKey(std::optional<std::string> key);
    // Position in `currentSnippets()` of the row open in the editor, beside its key.
    std::optional<std::size_t> expandedSnippetIndex() const { return expandedSnippetIndex_; }
    void setExpandedSnippetIndex(std::optional<std::size_t> index);
    bool isAddingNewSnippet() const { return isAddingNewSnippet_; }
    void setIsAddingNewSnippet(bool adding);
    const std::optional<std::string>& snippetError() const { return snippetError_; }
    void setSnippetError(std::optional<std::string> message);
    bool showingAppCapture() const { return showingAppCapture_; }
    void setShowingAppCapture(bool showing);
    const std::optional<std::string>& appError() const { return appError_; }
    void setAppError(std::optional<std::string> message);

    // True while a debounced save waits out its delay.
    bool hasPendingSave() const;
    // Writes made by this model; raised only by a write that succeeded.
    std::uint64_t saveGeneration() const { return saveGeneration_; }
    // The fingerprint of the configuration last written or loaded.
    const std::optional<std::string>& lastSavedData() const { return lastSavedData_; }
    // Why the file cannot be loaded or was not written, for the window's footer; none when the
    // last load or save succeeded. While the file cannot be parsed, nothing is written to it: the
    // window's changes wait in the draft and are laid over the file once it parses.
    const std::optional<std::string>& configFileError() const { return configFileError_; }

    const std::filesystem::path& configFilePath() const { return configLoader_.configFilePath(); }

    const std::function<std::optional<AppRecord>()> getLastNonKorvaneApp;
    const std::function<std::vector<AppRecord>()> getRecentApps;

    // Derived values, computed on every read. An application's entry is the last one with its id,
    // the one that takes effect when a file repeats an application.
    std::optional<AppSnippetConfig> selectedApp() const;
    std::vector<ManualSnippet> currentSnippets() const;
    std::vector<ManualSnippet> filteredSnippets() const;
    std::vector<SnippetRow> filteredSnippetRows() const;
    // The applications shown as tabs: one per id, in the order of first appearance.
    std::vector<AppSnippetConfig> shownApps() const;
    std::vector<std::string> defaultCategoryIds() const;
    std::vector<std::string> enabledCategoryIds() const;
    std::vector<std::string> hiddenCategoryIds() const;
    CategoryCatalogSnapshot categoryCatalog() const;

    // Operations. Each one that changes the draft schedules a save.
    void addApp(const std::string& bundleId, const std::string& name);
    void removeApp(const std::string& bundleId);
    // `previousIndex`, the row's position in `currentSnippets()`, picks the snippet replaced when
    // the scope holds `previousKey` more than once.
    void saveSnippet(const ManualSnippet& snippet, const std::optional<std::string>& previousKey,
                     std::optional<std::size_t> previousIndex = std::nullopt);
    // Without a key, the selected row's key and position are used. With `index` naming a snippet
    // with that key, only that one goes; otherwise every snippet with the key does.
    void deleteSnippet(const std::optional<std::string>& key = std::nullopt,
                       std::optional<std::size_t> index = std::nullopt);
    void setPopupPosition(std::optional<PopupPosition> position);
    void toggleCategory(const std::string& id);
    void enableCategory(const std::string& id);
    void setCategoryOrder(std::vector<std::string> ids);

    // (Re)starts the wait before the save.
    void scheduleSave();
    // Writes the draft when it differs from what was last written or loaded. Re-reads the file
    // first: what someone else wrote since stays, under the keys the window changed.
    void performSave();
    // Runs a pending save now (window closed, Korvane quitting), or retries one that failed;
    // nothing when the draft holds what was last written or loaded.
    void flushPendingSave();
    // Takes in the file after a change on disk. Nothing happens when it holds what this model last
    // wrote or loaded; otherwise the draft becomes the file with the window's unsaved changes laid
    // over it, and the selection returns to the global scope.
    void reloadDraftFromDisk();
    void cancelPendingSave();

    // The fingerprint: equal configurations give equal bytes, any change of content other bytes.
    static std::optional<std::string> encodeDraft(const AppConfig& config);

private:
    void notify(Field field);
    void setConfigFileError(std::optional<std::string> message, bool unparsable = false);
    // Says why the file cannot be loaded, and that the window's changes wait until it parses.
    void reportUnparsableFile(const ConfigLoadError& error);
    // What the draft's changes are measured against: the configuration last written or loaded, or
    // the defaults that stood in for a file that has not parsed since the window opened.
    const AppConfig& draftBase() const;
    bool isDirty() const { return draftConfig_ != draftBase(); }
    // Records `file` as what is on disk and makes `draft` the draft.
    void adoptFile(AppConfig file, AppConfig draft);

    ConfigStore& configLoader_;
    Scheduler& scheduler_;

    AppConfig draftConfig_;
    std::optional<std::string> selectedAppBundleId_;
    std::string snippetSearchQuery_;
    std::optional<std::string> selectedSnippetKey_;
    std::optional<std::size_t> selectedSnippetIndex_;
    std::optional<std::string> expandedSnippetKey_;
    std::optional<std::size_t> expandedSnippetIndex_;
    bool isAddingNewSnippet_ = false;
    std::optional<std::string> snippetError_;
    bool showingAppCapture_ = false;
    std::optional<std::string> appError_;
    std::optional<CancellationToken> saveTask_;
    std::uint64_t saveGeneration_ = 0;
    std::optional<std::string> lastSavedData_;
    std::optional<std::string> configFileError_;
    // The file did not parse when last read; configFileError_ says why.
    bool unparsable_ = false;

    // The configuration last written or loaded; none while the file has never been read successfully.
    std::optional<AppConfig> lastSaved_;

    ObserverID nextObserverID_ = 1;
    std::map<ObserverID, std::function<void(Field)>> observers_;
};

} // namespace korvane
