#pragma once

#include "base/cancellationtoken.h"
#include "base/scheduler.h"
#include "config/scoperegistry.h"
#include "config/themeconfig.h"
#include "model/searchresult.h"
#include "model/snippet.h"
#include "model/snippetsource.h"
#include "popup/detailpreviewcontroller.h"
#include "popup/detailpreviewtiming.h"
#include "popup/labelcachekey.h"
#include "popup/popupmode.h"
#include "popup/previewcontent.h"
#include "presentation/searchpresentation.h"
#include "presentation/searchupdate.h"
#include "presentation/searchviewstate.h"
#include "registry/querychip.h"
#include "registry/snippetsection.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// The state behind the completion popup: its mode, the query, the browser's categories and
// selection, the search results or presentation with their selection, the detail panel's focus and
// scroll, the theme and the label cache, with the sizes and texts derived from them. It owns the
// detail preview controller and drives it as the selection moves. Views observe it through
// addObserver(): every real change of a field calls the observers. Main thread only; held by
// std::shared_ptr because its callbacks and tasks refer to it weakly.
class PopupViewModel : public std::enable_shared_from_this<PopupViewModel> {
public:
    using PopupMode = korvane::PopupMode;
    using DetailPreviewTiming = korvane::DetailPreviewTiming;
    using LabelCacheKey = korvane::LabelCacheKey;
    using SnippetPtr = std::shared_ptr<const Snippet>;
    enum class BrowserPanel { sidebar, items };
    enum class FocusedPanel { list, detail };
    enum class DetailPanelSide { left, right };

    // One browser category, made from a section that is neither a project header nor a footer.
    struct Category {
        std::string id;
        std::string name;
        std::vector<SnippetSource> sources;
        std::size_t count = 0;
        std::optional<std::string> scopeAlias;
        // Its items are still on their way: `count` is not the category's.
        bool isLoading = false;
    };

    // One row of the plain result list as the views draw it.
    struct DisplayableResult {
        SnippetPtr snippet;
        TextRanges matchRanges;

        const std::string& id() const { return snippet->id; }
        bool operator==(const DisplayableResult& other) const {
            return id() == other.id() && matchRanges == other.matchRanges;
        }
    };

    // A highlighted label the row views build and keep in the label cache; they subclass it with
    // whatever their toolkit draws from.
    class CachedLabel {
    public:
        virtual ~CachedLabel() = default;
    };
    using LabelCache = std::unordered_map<LabelCacheKey, std::shared_ptr<const CachedLabel>>;

    // Makes the detail controller for the timing. The detail panel's library sits above this one,
    // so the application hands its factory in; without one the view model uses a controller that
    // does nothing.
    using DetailControllerFactory =
        std::function<std::shared_ptr<DetailPreviewController>(const DetailPreviewTiming&)>;

    using ObserverID = std::uint64_t;

    static constexpr double headerRowHeight = 22;
    static constexpr int maxVisibleRows = 10;
    static constexpr double verticalPadding = 6;
    static constexpr double browserSidebarWidth = 140;
    static constexpr double browserItemsWidth = 300;
    static constexpr double searchBarHeight = 36;
    static constexpr int minVisibleRows = 6;
    static constexpr double minDetailHeightFileBacked = 220;
    static constexpr double minDetailHeightDefault = 120;
    static constexpr double statusBarHeight = 25;
    static constexpr double scopeRowMinHeight = 120;
    static constexpr double helpHeight = 450;
    static constexpr double expandDebounceSeconds = 0.15;
    static constexpr std::size_t expandedTextLimit = 120;

    // A new view model with every field at its default, its detail controller made with `timing`
    // and wired to it. `scheduler` must outlive it.
    static std::shared_ptr<PopupViewModel> create(DetailPreviewTiming timing, Scheduler& scheduler,
                                                  const DetailControllerFactory& makeDetail = {});

    // The view model of the settings page's preview: search mode with four fixed sample results,
    // the first selected.
    static std::shared_ptr<PopupViewModel> makeSettingsPreview(Scheduler& scheduler);

    ~PopupViewModel();
    PopupViewModel(const PopupViewModel&) = delete;
    PopupViewModel& operator=(const PopupViewModel&) = delete;

    // Observation: `observer` runs after every real change of a field, until removed.
    ObserverID addObserver(std::function<void()> observer);
    void removeObserver(ObserverID id);

    // Installed by the popup controller: the selected row or the detail focus changed, or the
    // popup's size may have changed.
    std::function<void()> onPreviewChanged;
    std::function<void()> onLayoutChanged;

    // Stored state.
    const DetailPreviewTiming& detailPreviewTiming() const { return detailPreviewTiming_; }
    DetailPreviewController& detail() const { return *detail_; }
    const ThemeConfig& themeConfig() const { return themeConfig_; }
    const std::string& currentQuery() const { return currentQuery_; }
    const std::string& triggerText() const { return triggerText_; }
    PopupMode mode() const { return mode_; }
    bool animateLayoutChange() const { return animateLayoutChange_; }
    int selectedCategoryIndex() const { return selectedCategoryIndex_; }
    int selectedItemIndexInCategory() const { return selectedItemIndexInCategory_; }
    BrowserPanel browserFocusedPanel() const { return browserFocusedPanel_; }
    int preservedCategoryIndex() const { return preservedCategoryIndex_; }
    BrowserPanel preservedBrowserPanel() const { return preservedBrowserPanel_; }
    int searchSessionRowFloor() const { return searchSessionRowFloor_; }
    bool searchSessionDetailSlotReserved() const { return searchSessionDetailSlotReserved_; }
    double sessionDetailMinHeight() const { return sessionDetailMinHeight_; }
    const SearchViewState& viewState() const { return viewState_; }
    int selectedIndex() const { return selectedIndex_; }
    const std::optional<SearchPresentation>& searchPresentation() const { return searchPresentation_; }
    int selectedSearchRowIndex() const { return selectedSearchRowIndex_; }
    const std::optional<std::string>& searchPresentationMessage() const { return searchPresentationMessage_; }
    const std::vector<SnippetSection>& sections() const { return sections_; }
    FocusedPanel focusedPanel() const { return focusedPanel_; }
    int detailScrollPosition() const { return detailScrollPosition_; }
    int detailScrollMax() const { return detailScrollMax_; }
    DetailPanelSide detailPanelSide() const { return detailPanelSide_; }
    const std::optional<std::string>& scrollTargetID() const { return scrollTargetID_; }
    bool isRefreshing() const { return isRefreshing_; }
    bool isLoadingRecentFiles() const { return isLoadingRecentFiles_; }
    // Whether a source of the search shown is still running, so that its rows may yet come.
    bool awaitsSources() const { return awaitsSources_; }
    // Whether the search header and list say they are loading: the recent files, or a running source
    // while no result is listed.
    bool showsLoading() const;
    // The results the search list shows: its snippets, and the scope rows when no scope is typed.
    std::size_t shownResultCount() const;
    const std::optional<std::string>& projectRoot() const { return projectRoot_; }
    const std::optional<SnippetSource>& activeScope() const { return activeScope_; }
    const std::optional<QueryChip>& displayChip() const { return displayChip_; }
    bool urlOnly() const { return urlOnly_; }
    bool scopeDisabled() const { return scopeDisabled_; }
    bool isLiveScopeActive() const { return isLiveScopeActive_; }
    bool isHelpMode() const { return isHelpMode_; }
    int helpScrollPosition() const { return helpScrollPosition_; }
    const ScopeRegistry& scopeRegistry() const { return scopeRegistry_; }
    const LabelCache& labelCache() const { return labelCache_; }
    const std::set<std::string>& loadingCategories() const { return loadingCategories_; }
    const SnippetPtr& expandedSnippet() const { return expandedSnippet_; }

    // Writers for the fields other parts own. Each notifies only on a real change.
    // A different theme also empties the label cache.
    void setThemeConfig(const ThemeConfig& theme);
    void setCurrentQuery(const std::string& query);
    void setTriggerText(const std::string& text);
    void setMode(PopupMode mode);
    void setAnimateLayoutChange(bool animate);
    void setViewState(SearchViewState state);
    void setSelectedIndex(int index);
    void setSelectedSearchRowIndex(int index);
    void setFocusedPanel(FocusedPanel panel);
    void setDetailScrollPosition(int position);
    // The detail panel reports its segment count; the highest scroll step is one less, never below 0.
    void setDetailScrollMax(int segmentCountMinusOne);
    void setDetailPanelSide(DetailPanelSide side);
    void setProjectRoot(const std::optional<std::string>& root);
    void setScopeRegistry(ScopeRegistry registry);
    void setLoadingCategories(std::set<std::string> categories);
    // The row views fill the cache without notifying; emptying it notifies.
    void cacheLabel(const LabelCacheKey& key, std::shared_ptr<const CachedLabel> label);
    std::shared_ptr<const CachedLabel> cachedLabel(const LabelCacheKey& key) const;
    void clearLabelCache();

    // Derived values.
    std::vector<SearchResult> allResults() const;
    std::vector<Category> categories() const;
    const std::vector<SearchResult>& selectedCategoryItems() const;
    std::optional<std::string> selectedCategoryHelpText() const;
    std::vector<DisplayableResult> displayableResults() const;
    const SearchRow* selectedSearchRow() const;
    std::optional<std::string> selectedSearchRowID() const;
    SnippetPtr selectedSnippet() const;
    std::optional<std::string> selectedSnippetID() const;
    std::optional<PreviewContent> previewContent(const std::string& snippetID) const;
    bool isDetailColumnVisible() const;
    std::string statusContextText() const;
    // "1 result", "12 results": the count as the status bar and the search header tell it.
    static std::string resultCountText(std::size_t count);
    static constexpr const char* loadingText = "Loading...";
    double popupWidth() const;
    double popupHeight() const;
    // The inline text under an expanded browser item, by the snippet's source.
    std::optional<std::string> expandedDetailText(const Snippet& snippet) const;

    // Takes one search update as one change: its writes notify the observers once, and ask the
    // window for one new frame, after the last of them.
    void apply(SearchUpdate update);

    // Mode changes; each notifies once at its end.
    void showSearchResults(std::vector<SearchResult> results, std::optional<QueryChip> displayChip,
                           std::optional<SnippetSource> activeScope, bool urlOnly, bool scopeDisabled,
                           bool isLiveScopeActive, bool isBareScope, std::optional<std::string> emptyMessage,
                           SearchEmptyState::Style emptyStyle);
    void showSearchPresentation(SearchPresentation presentation, std::optional<QueryChip> displayChip,
                                std::optional<SnippetSource> activeScope, bool urlOnly, bool scopeDisabled,
                                bool isLiveScopeActive, bool isBareScope);
    // The browser over `sections`; those marked loading become the loading categories.
    void showBrowser(std::vector<SnippetSection> sections, bool urlOnly);
    void showHelp();
    void exitHelpMode();
    void reset();

    // Navigation.
    void moveSelectionUp() { moveSelection(-1); }
    void moveSelectionDown() { moveSelection(+1); }
    void scrollHelpUp();
    void scrollHelpDown();
    void moveBrowserFocus(bool toItems);
    void toggleDetailFocus();
    // Selects the entry with this snippet id after a list was rebuilt; in search mode the detail
    // panel follows the restored selection.
    void selectSnippet(const std::string& snippetID);

    void setRefreshing(bool refreshing);
    void setLoadingRecentFiles(bool loading);
    void setAwaitingSources(bool awaiting);

private:
    PopupViewModel(DetailPreviewTiming timing, Scheduler& scheduler,
                   std::shared_ptr<DetailPreviewController> detail);

    // Holds notifications back while alive; the outermost one sends what was held, once each.
    class Batch {
    public:
        explicit Batch(PopupViewModel& model);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        PopupViewModel& model_;
    };

    void wireDetail();
    void notify();
    // Stores `value` and notifies when it differs from the stored one; true when it did.
    template <class T> bool assign(T& field, T value) {
        if (field == value) {
            return false;
        }
        field = std::move(value);
        notify();
        return true;
    }
    // Stores and notifies, for fields whose type has no equality.
    template <class T> void assignAlways(T& field, T value) {
        field = std::move(value);
        notify();
    }
    void previewChanged();
    void layoutChanged();

    void reserveDetailSlot(const SnippetPtr& snippet);
    void clearSessionLayout();
    void feedDetail();
    void showDetailShellForBareScope();
    void enterSearchMode(PopupMode entryMode);
    void cancelExpandTask();

    const SnippetSection* sectionWithID(const std::string& id) const;
    const SnippetSection* selectedCategorySection() const;
    SnippetPtr selectedBrowserItem() const;
    bool categoryHasResults(const Category& category) const;
    double searchListHeight() const;
    double browserHeight() const;
    std::size_t helpScrollMax() const;

    void moveSelection(int delta);
    void moveSearchRow(int delta);
    void moveCategory(int delta);
    void moveItem(int delta);
    void syncSelectionFromSearchRow();
    void syncSelectedIndexFromBrowser();
    void selectFirstNonEmptyCategory();
    // Selects the category the user chose, when it is still listed; whether it did.
    bool selectChosenCategory();
    void scheduleExpandedSnippet();
    static int initialSearchRowIndex(const SearchPresentation& presentation);

    const DetailPreviewTiming detailPreviewTiming_;
    Scheduler* scheduler_;
    std::shared_ptr<DetailPreviewController> detail_;
    std::map<ObserverID, std::function<void()>> observers_;
    ObserverID nextObserverID_ = 1;
    int batchDepth_ = 0;
    bool notifyHeld_ = false;
    bool previewChangeHeld_ = false;
    bool layoutChangeHeld_ = false;

    ThemeConfig themeConfig_;
    std::string currentQuery_;
    std::string triggerText_ = ";;";
    PopupMode mode_ = PopupMode::browser;
    bool animateLayoutChange_ = false;
    int selectedCategoryIndex_ = 0;
    int selectedItemIndexInCategory_ = 0;
    BrowserPanel browserFocusedPanel_ = BrowserPanel::items;
    int preservedCategoryIndex_ = 0;
    BrowserPanel preservedBrowserPanel_ = BrowserPanel::items;
    int searchSessionRowFloor_ = 0;
    bool searchSessionDetailSlotReserved_ = false;
    double sessionDetailMinHeight_ = 0;
    SearchViewState viewState_;
    int selectedIndex_ = 0;
    std::optional<SearchPresentation> searchPresentation_;
    int selectedSearchRowIndex_ = 0;
    std::optional<std::string> searchPresentationMessage_;
    std::vector<SnippetSection> sections_;
    FocusedPanel focusedPanel_ = FocusedPanel::list;
    int detailScrollPosition_ = 0;
    int detailScrollMax_ = 0;
    DetailPanelSide detailPanelSide_ = DetailPanelSide::right;
    std::optional<std::string> scrollTargetID_;
    bool isRefreshing_ = false;
    bool isLoadingRecentFiles_ = false;
    bool awaitsSources_ = false;
    std::optional<std::string> projectRoot_;
    std::optional<SnippetSource> activeScope_;
    std::optional<QueryChip> displayChip_;
    bool urlOnly_ = false;
    bool scopeDisabled_ = false;
    bool isLiveScopeActive_ = false;
    bool isHelpMode_ = false;
    int helpScrollPosition_ = 0;
    ScopeRegistry scopeRegistry_;
    LabelCache labelCache_;
    std::optional<CancellationToken> expandDebounceTask_;
    // The category the user moved to in this popup: a refresh of the browser keeps it, where it would
    // otherwise select the first category with items as a new browser does.
    std::optional<std::string> chosenCategoryID_;
    // The ids of the categories whose items are still on their way.
    std::set<std::string> loadingCategories_;
    SnippetPtr expandedSnippet_;
};

} // namespace korvane
