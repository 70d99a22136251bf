// The operations of PopupViewModel that install results, change modes and move the selection.

#include "popup/popupviewmodel.h"

#include <algorithm>
#include <utility>
#include <variant>

namespace korvane {
namespace {

// Moving by `delta` over `count` entries wraps around at both ends.
int wrapped(int index, int delta, int count) {
    return ((index + delta) % count + count) % count;
}

} // namespace

void PopupViewModel::clearSessionLayout() {
    assign(searchSessionDetailSlotReserved_, false);
    assign(sessionDetailMinHeight_, 0.0);
}

void PopupViewModel::cancelExpandTask() {
    if (expandDebounceTask_) {
        expandDebounceTask_->cancel();
        expandDebounceTask_.reset();
    }
}

void PopupViewModel::feedDetail() {
    std::weak_ptr<PopupViewModel> weak = weak_from_this();
    detail_->feedPreview(
        selectedSnippet(), focusedPanel_ == FocusedPanel::detail,
        [weak](bool detailFocus) {
            if (auto self = weak.lock()) {
                self->setFocusedPanel(detailFocus ? FocusedPanel::detail : FocusedPanel::list);
            }
        },
        [weak](int position) {
            if (auto self = weak.lock()) {
                self->setDetailScrollPosition(position);
            }
        });
}

void PopupViewModel::showDetailShellForBareScope() {
    const auto& results = viewState_.resultList();
    const auto index = static_cast<std::size_t>(std::max(selectedIndex_, 0));
    detail_->showDetailShell(results, index);
    if (detail_->previewSnippet()) {
        detail_->setPreviewSnippet(nullptr);
    }
    setFocusedPanel(FocusedPanel::list);
    setDetailScrollPosition(0);
    detail_->scheduleIdleAutoPreview(results, index, mode_);
}

void PopupViewModel::enterSearchMode(PopupMode entryMode) {
    detail_->cancelScheduledPreviews();
    detail_->resetNavigationBurst();
    if (entryMode == PopupMode::browser) {
        // The browser never has a preview of its own; a list that replaces it starts clean.
        detail_->clearPreview();
        assign(preservedCategoryIndex_, selectedCategoryIndex_);
        assign(preservedBrowserPanel_, browserFocusedPanel_);
    }
    if (mode_ != PopupMode::search) {
        setAnimateLayoutChange(true);
        setMode(PopupMode::search);
    }
}

void PopupViewModel::showSearchResults(std::vector<SearchResult> results,
                                       std::optional<QueryChip> displayChip,
                                       std::optional<SnippetSource> activeScope, bool urlOnly,
                                       bool scopeDisabled, bool isLiveScopeActive, bool isBareScope,
                                       std::optional<std::string> emptyMessage,
                                       SearchEmptyState::Style emptyStyle) {
    const Batch batch(*this);
    const PopupMode entryMode = mode_;
    enterSearchMode(entryMode);

    const std::size_t resultCount = results.size();
    std::optional<std::string> firstID;
    if (!results.empty() && results.front().snippet) {
        firstID = results.front().snippet->id;
    }
    if (results.empty() && emptyMessage) {
        setViewState(SearchViewState::empty(SearchEmptyState{std::move(*emptyMessage), emptyStyle}));
    } else {
        setViewState(SearchViewState::results(std::move(results)));
    }
    assignAlways(searchPresentation_, std::optional<SearchPresentation>());
    assign(searchPresentationMessage_, std::optional<std::string>());
    setSelectedSearchRowIndex(0);
    assignAlways(sections_, std::vector<SnippetSection>());
    setSelectedIndex(0);

    assignAlways(displayChip_, std::move(displayChip));
    assign(activeScope_, std::move(activeScope));
    assign(urlOnly_, urlOnly);
    assign(scopeDisabled_, scopeDisabled);
    assign(isLiveScopeActive_, isLiveScopeActive);

    const SearchEmptyState* empty = viewState_.emptyState();
    if (empty) {
        clearSessionLayout();
        detail_->clearPreview();
    }

    const int shown = static_cast<int>(std::min<std::size_t>(resultCount, maxVisibleRows));
    int floor = 0;
    if (empty && empty->style == SearchEmptyState::Style::compact) {
        floor = 0;
    } else if (isBareScope) {
        floor = maxVisibleRows;
    } else if (entryMode == PopupMode::search) {
        floor = std::max(searchSessionRowFloor_, shown);
    } else {
        floor = std::max(shown, minVisibleRows);
    }
    assign(searchSessionRowFloor_, floor);

    if (entryMode != PopupMode::search) {
        clearSessionLayout();
    }

    cancelExpandTask();
    assignAlways(expandedSnippet_, SnippetPtr());
    assign(scrollTargetID_, firstID);

    if (isBareScope) {
        showDetailShellForBareScope();
    } else {
        feedDetail();
    }
}

void PopupViewModel::apply(SearchUpdate update) {
    const Batch batch(*this);
    if (update.query) {
        setCurrentQuery(*update.query);
    }
    if (update.exitHelpMode && isHelpMode_) {
        exitHelpMode();
    }
    if (update.loadingRecentFiles) {
        setLoadingRecentFiles(*update.loadingRecentFiles);
    }
    if (update.sourcesRunning) {
        setAwaitingSources(*update.sourcesRunning);
    }
    if (update.hasContent() && !std::holds_alternative<SearchUpdate::Help>(update.content)) {
        setProjectRoot(update.projectRoot);
    }
    if (std::holds_alternative<SearchUpdate::Help>(update.content)) {
        showHelp();
    } else if (auto* browser = std::get_if<SearchUpdate::Browser>(&update.content)) {
        showBrowser(std::move(browser->sections), browser->urlOnly);
    } else if (auto* list = std::get_if<SearchUpdate::Results>(&update.content)) {
        auto& shell = list->shell;
        std::optional<std::string> message;
        auto style = SearchEmptyState::Style::standard;
        if (list->emptyState) {
            message = std::move(list->emptyState->message);
            style = list->emptyState->style;
        }
        showSearchResults(std::move(list->results), std::move(shell.displayChip), std::move(shell.activeScope),
                          shell.urlOnly, shell.scopeDisabled, shell.isLiveScopeActive, shell.isBareScope,
                          std::move(message), style);
    } else if (auto* composed = std::get_if<SearchUpdate::Composed>(&update.content)) {
        auto& shell = composed->shell;
        showSearchPresentation(std::move(composed->presentation), std::move(shell.displayChip),
                               std::move(shell.activeScope), shell.urlOnly, shell.scopeDisabled,
                               shell.isLiveScopeActive, shell.isBareScope);
    }
    if (update.selectSnippetID) {
        selectSnippet(*update.selectSnippetID);
    }
}

int PopupViewModel::initialSearchRowIndex(const SearchPresentation& presentation) {
    const auto& rows = presentation.rows;
    if (rows.empty()) {
        return 0;
    }
    if (presentation.initialSelectedRowID) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].id == *presentation.initialSelectedRowID) {
                if (rows[i].isSelectable) {
                    return static_cast<int>(i);
                }
                break;
            }
        }
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].isSelectable) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

void PopupViewModel::showSearchPresentation(SearchPresentation presentation,
                                            std::optional<QueryChip> displayChip,
                                            std::optional<SnippetSource> activeScope, bool urlOnly,
                                            bool scopeDisabled, bool isLiveScopeActive, bool isBareScope) {
    const Batch batch(*this);
    const PopupMode entryMode = mode_;
    enterSearchMode(entryMode);

    const int initialRow = initialSearchRowIndex(presentation);
    const int shown = static_cast<int>(std::min<std::size_t>(presentation.rows.size(), maxVisibleRows));
    setViewState(SearchViewState::results(presentation.snippetResults));
    std::optional<std::string> message = presentation.message;
    assignAlways(searchPresentation_, std::optional<SearchPresentation>(std::move(presentation)));
    assign(searchPresentationMessage_, std::move(message));
    assignAlways(sections_, std::vector<SnippetSection>());

    assignAlways(displayChip_, std::move(displayChip));
    assign(activeScope_, std::move(activeScope));
    assign(urlOnly_, urlOnly);
    assign(scopeDisabled_, scopeDisabled);
    assign(isLiveScopeActive_, isLiveScopeActive);

    if (entryMode != PopupMode::search) {
        clearSessionLayout();
    }
    assign(searchSessionRowFloor_, entryMode == PopupMode::search ? std::max(searchSessionRowFloor_, shown)
                                                                  : std::max(shown, minVisibleRows));

    setSelectedIndex(0);
    setSelectedSearchRowIndex(initialRow);
    syncSelectionFromSearchRow();

    cancelExpandTask();
    assignAlways(expandedSnippet_, SnippetPtr());

    if (isBareScope && selectedSnippet()) {
        showDetailShellForBareScope();
    } else {
        feedDetail();
    }
}

void PopupViewModel::syncSelectionFromSearchRow() {
    const SearchRow* row = selectedSearchRow();
    if (!row) {
        return;
    }
    assign(scrollTargetID_, std::optional<std::string>(row->id));
    const auto* snippetRow = row->kind.asSnippet();
    if (!snippetRow || !snippetRow->result.snippet) {
        return;
    }
    const auto& results = viewState_.resultList();
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i].snippet && results[i].snippet->id == snippetRow->result.snippet->id) {
            setSelectedIndex(static_cast<int>(i));
            return;
        }
    }
}

void PopupViewModel::showBrowser(std::vector<SnippetSection> sections, bool urlOnly) {
    const Batch batch(*this);
    detail_->cancelScheduledPreviews();
    detail_->resetNavigationBurst();
    const PopupMode entryMode = mode_;
    if (mode_ != PopupMode::browser) {
        setAnimateLayoutChange(true);
        setMode(PopupMode::browser);
    }

    std::set<std::string> loading;
    for (const SnippetSection& section : sections) {
        if (section.isLoading) {
            loading.insert(section.id());
        }
    }
    assign(loadingCategories_, std::move(loading));
    assignAlways(sections_, std::move(sections));
    setViewState(SearchViewState::results({}));
    assignAlways(searchPresentation_, std::optional<SearchPresentation>());
    assign(searchPresentationMessage_, std::optional<std::string>());
    setSelectedSearchRowIndex(0);
    setSelectedIndex(0);
    assignAlways(displayChip_, std::optional<QueryChip>());
    assign(activeScope_, std::optional<SnippetSource>());
    assign(urlOnly_, urlOnly);
    assign(scopeDisabled_, false);
    assign(isLiveScopeActive_, false);
    assign(searchSessionRowFloor_, 0);
    clearSessionLayout();

    detail_->cancelDebounceTask();
    detail_->clearPreview();
    setFocusedPanel(FocusedPanel::list);

    if (entryMode == PopupMode::search) {
        assign(browserFocusedPanel_, preservedBrowserPanel_);
        const auto categoryCount = static_cast<int>(categories().size());
        if (categoryCount > 0 && preservedCategoryIndex_ < categoryCount) {
            assign(selectedCategoryIndex_, preservedCategoryIndex_);
            assign(selectedItemIndexInCategory_, 0);
        } else {
            selectFirstNonEmptyCategory();
        }
    } else if (!selectChosenCategory()) {
        selectFirstNonEmptyCategory();
    }

    syncSelectedIndexFromBrowser();
    std::optional<std::string> firstID;
    if (!sections_.empty() && !sections_.front().results.empty() &&
        sections_.front().results.front().snippet) {
        firstID = sections_.front().results.front().snippet->id;
    }
    assign(scrollTargetID_, firstID);
    scheduleExpandedSnippet();
}

bool PopupViewModel::categoryHasResults(const Category& category) const {
    const SnippetSection* section = sectionWithID(category.id);
    return section && !section->results.empty();
}

bool PopupViewModel::selectChosenCategory() {
    if (!chosenCategoryID_) {
        return false;
    }
    const auto categories = this->categories();
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (categories[i].id == *chosenCategoryID_) {
            assign(selectedCategoryIndex_, static_cast<int>(i));
            assign(selectedItemIndexInCategory_, 0);
            return true;
        }
    }
    return false;
}

void PopupViewModel::selectFirstNonEmptyCategory() {
    const auto categories = this->categories();
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (categoryHasResults(categories[i])) {
            assign(selectedCategoryIndex_, static_cast<int>(i));
            assign(selectedItemIndexInCategory_, 0);
            syncSelectedIndexFromBrowser();
            return;
        }
    }
}

void PopupViewModel::syncSelectedIndexFromBrowser() {
    if (mode_ != PopupMode::browser) {
        return;
    }
    const auto categories = this->categories();
    if (selectedCategoryIndex_ < 0 || static_cast<std::size_t>(selectedCategoryIndex_) >= categories.size()) {
        return;
    }
    const std::string& id = categories[static_cast<std::size_t>(selectedCategoryIndex_)].id;
    int passed = 0;
    for (const SnippetSection& section : sections_) {
        if (!section.isCategory()) {
            continue;
        }
        const auto count = static_cast<int>(section.results.size());
        if (section.id() == id) {
            setSelectedIndex(count == 0 ? passed
                                        : passed + std::clamp(selectedItemIndexInCategory_, 0, count - 1));
            return;
        }
        passed += count;
    }
}

void PopupViewModel::scheduleExpandedSnippet() {
    cancelExpandTask();
    SnippetPtr item = mode_ == PopupMode::browser ? selectedBrowserItem() : nullptr;
    if (!item) {
        assignAlways(expandedSnippet_, SnippetPtr());
        return;
    }
    std::weak_ptr<PopupViewModel> weak = weak_from_this();
    // The scheduler drops the task once its token is cancelled, so a run means it is still current.
    expandDebounceTask_ = scheduler_->postAfter(expandDebounceSeconds, [weak, item] {
        if (auto self = weak.lock()) {
            self->expandDebounceTask_.reset();
            self->assignAlways(self->expandedSnippet_, item);
        }
    });
}

void PopupViewModel::showHelp() {
    const Batch batch(*this);
    detail_->cancelScheduledPreviews();
    detail_->resetNavigationBurst();
    setMode(PopupMode::help);
    assign(isHelpMode_, true);
    assignAlways(sections_, std::vector<SnippetSection>());
    setViewState(SearchViewState::results({}));
    assignAlways(searchPresentation_, std::optional<SearchPresentation>());
    assign(searchPresentationMessage_, std::optional<std::string>());
    setSelectedSearchRowIndex(0);
    detail_->clearPreview();
    setFocusedPanel(FocusedPanel::list);
    setDetailScrollPosition(0);
    assign(detailScrollMax_, 0);
    assign(helpScrollPosition_, 0);
    assignAlways(displayChip_, std::optional<QueryChip>());
    assign(activeScope_, std::optional<SnippetSource>());
    assign(urlOnly_, false);
    assign(scopeDisabled_, false);
    assign(searchSessionRowFloor_, 0);
    clearSessionLayout();
    layoutChanged();
}

void PopupViewModel::moveSelection(int delta) {
    if (mode_ == PopupMode::browser) {
        if (browserFocusedPanel_ == BrowserPanel::items) {
            moveItem(delta);
            scheduleExpandedSnippet();
        } else {
            moveCategory(delta);
        }
        return;
    }
    if (focusedPanel_ == FocusedPanel::detail) {
        if (delta < 0) {
            setDetailScrollPosition(std::max(detailScrollPosition_ - 1, 0));
        } else if (detailScrollPosition_ < detailScrollMax_) {
            setDetailScrollPosition(detailScrollPosition_ + 1);
        }
        return;
    }
    if (searchPresentation_) {
        moveSearchRow(delta);
        return;
    }
    const auto& results = viewState_.resultList();
    const auto count = static_cast<int>(results.size());
    if (count == 0 || selectedIndex_ < 0 || selectedIndex_ >= count) {
        return;
    }
    const int next = wrapped(selectedIndex_, delta, count);
    if (next == selectedIndex_) {
        return;
    }
    setSelectedIndex(next);
    const auto& snippet = results[static_cast<std::size_t>(next)].snippet;
    assign(scrollTargetID_, snippet ? std::optional<std::string>(snippet->id) : std::nullopt);
    feedDetail();
}

void PopupViewModel::moveSearchRow(int delta) {
    if (!searchPresentation_ || delta == 0) {
        return;
    }
    const auto& rows = searchPresentation_->rows;
    const auto count = static_cast<int>(rows.size());
    if (count == 0 || selectedSearchRowIndex_ < 0 || selectedSearchRowIndex_ >= count) {
        return;
    }
    int index = selectedSearchRowIndex_;
    for (int step = 0; step < count; ++step) {
        index = wrapped(index, delta, count);
        if (!rows[static_cast<std::size_t>(index)].isSelectable) {
            continue;
        }
        if (index == selectedSearchRowIndex_) {
            return;
        }
        setSelectedSearchRowIndex(index);
        syncSelectionFromSearchRow();
        feedDetail();
        return;
    }
}

void PopupViewModel::moveCategory(int delta) {
    const auto count = static_cast<int>(categories().size());
    if (count == 0 || selectedCategoryIndex_ < 0 || selectedCategoryIndex_ >= count) {
        return;
    }
    const int next = wrapped(selectedCategoryIndex_, delta, count);
    if (next == selectedCategoryIndex_) {
        return;
    }
    assign(selectedCategoryIndex_, next);
    assign(selectedItemIndexInCategory_, 0);
    chosenCategoryID_ = categories()[static_cast<std::size_t>(next)].id;
    syncSelectedIndexFromBrowser();
    scheduleExpandedSnippet();
}

void PopupViewModel::moveItem(int delta) {
    const auto count = static_cast<int>(selectedCategoryItems().size());
    if (count == 0 || selectedItemIndexInCategory_ < 0 || selectedItemIndexInCategory_ >= count) {
        return;
    }
    const int next = wrapped(selectedItemIndexInCategory_, delta, count);
    if (next == selectedItemIndexInCategory_) {
        return;
    }
    assign(selectedItemIndexInCategory_, next);
    syncSelectedIndexFromBrowser();
}

void PopupViewModel::moveBrowserFocus(bool toItems) {
    assign(browserFocusedPanel_, toItems ? BrowserPanel::items : BrowserPanel::sidebar);
}

void PopupViewModel::toggleDetailFocus() {
    if (focusedPanel_ == FocusedPanel::detail) {
        setFocusedPanel(FocusedPanel::list);
        return;
    }
    if (!detail_->detailShellSnippet() && !detail_->previewSnippet()) {
        return;
    }
    setFocusedPanel(FocusedPanel::detail);
    setDetailScrollPosition(0);
}

std::size_t PopupViewModel::helpScrollMax() const {
    return ScopeRegistry::builtInEntries().size() + 11;
}

void PopupViewModel::scrollHelpUp() {
    assign(helpScrollPosition_, std::max(helpScrollPosition_ - 1, 0));
}

void PopupViewModel::scrollHelpDown() {
    assign(helpScrollPosition_, std::min(helpScrollPosition_ + 1, static_cast<int>(helpScrollMax())));
}

void PopupViewModel::reset() {
    const Batch batch(*this);
    detail_->reset();
    cancelExpandTask();
    detail_->resetNavigationBurst();
    setMode(PopupMode::browser);
    setViewState(SearchViewState::results({}));
    assignAlways(searchPresentation_, std::optional<SearchPresentation>());
    assign(searchPresentationMessage_, std::optional<std::string>());
    setSelectedSearchRowIndex(0);
    assignAlways(sections_, std::vector<SnippetSection>());
    setSelectedIndex(0);
    assignAlways(displayChip_, std::optional<QueryChip>());
    assign(activeScope_, std::optional<SnippetSource>());
    assign(urlOnly_, false);
    assign(scopeDisabled_, false);
    setFocusedPanel(FocusedPanel::list);
    setDetailScrollPosition(0);
    assign(detailScrollMax_, 0);
    assign(isRefreshing_, false);
    assign(isHelpMode_, false);
    assign(scrollTargetID_, std::optional<std::string>());
    clearLabelCache();
    assign(currentQuery_, std::string());
    assign(isLiveScopeActive_, false);
    assign(isLoadingRecentFiles_, false);
    assign(awaitsSources_, false);
    assign(searchSessionRowFloor_, 0);
    clearSessionLayout();
    assign(selectedCategoryIndex_, 0);
    assign(selectedItemIndexInCategory_, 0);
    assign(browserFocusedPanel_, BrowserPanel::items);
    assign(preservedCategoryIndex_, 0);
    assign(preservedBrowserPanel_, BrowserPanel::items);
    assign(loadingCategories_, std::set<std::string>());
    chosenCategoryID_.reset();
    assignAlways(expandedSnippet_, SnippetPtr());
    setAnimateLayoutChange(false);
}

} // namespace korvane
