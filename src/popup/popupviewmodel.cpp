#include "popup/popupviewmodel.h"

#include "base/graphemescanner.h"
#include "popup/nulldetailpreviewcontroller.h"
#include "popup/popupcontentheight.h"
#include "popup/popuptheme.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace korvane {
namespace {

std::optional<std::string> metadataValue(const Snippet& snippet, const std::string& key) {
    if (!snippet.metadata) {
        return std::nullopt;
    }
    auto found = snippet.metadata->find(key);
    if (found == snippet.metadata->end()) {
        return std::nullopt;
    }
    return found->second;
}

// The first `limit` grapheme clusters of `text`, with "…" appended when it has more.
std::string clusterPrefix(const std::string& text, std::size_t limit) {
    GraphemeScanner scanner;
    scanner.start(text);
    std::size_t end = 0;
    for (std::size_t count = 0; count < limit; ++count) {
        const std::size_t next = scanner.next();
        if (next == GraphemeScanner::npos) {
            return text;
        }
        end = next;
    }
    if (scanner.next() == GraphemeScanner::npos) {
        return text;
    }
    return text.substr(0, end) + "…";
}

// The first two non-empty lines of `text`, joined by a line feed. "\n", "\r\n" and "\r" each end a line.
std::string firstTwoLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin <= text.size() && lines.size() < 2) {
        std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > begin) {
            lines.push_back(text.substr(begin, end - begin));
        }
        if (end == text.size()) {
            break;
        }
        begin = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            joined += '\n';
        }
        joined += lines[i];
    }
    return joined;
}

SearchResult sampleResult(std::string id, std::string label, std::string expansion, SnippetSource source,
                          std::optional<std::string> description = std::nullopt,
                          std::optional<std::map<std::string, std::string>> metadata = std::nullopt) {
    auto snippet = std::make_shared<Snippet>();
    snippet->id = std::move(id);
    snippet->label = std::move(label);
    snippet->expansion = std::move(expansion);
    snippet->source = std::move(source);
    snippet->description = std::move(description);
    snippet->metadata = std::move(metadata);
    return SearchResult{std::move(snippet), {}};
}

} // namespace

std::shared_ptr<PopupViewModel> PopupViewModel::create(DetailPreviewTiming timing, Scheduler& scheduler,
                                                       const DetailControllerFactory& makeDetail) {
    std::shared_ptr<DetailPreviewController> detail = makeDetail ? makeDetail(timing) : nullptr;
    if (!detail) {
        detail = std::make_shared<NullDetailPreviewController>();
    }
    std::shared_ptr<PopupViewModel> model(new PopupViewModel(timing, scheduler, std::move(detail)));
    model->wireDetail();
    return model;
}

PopupViewModel::PopupViewModel(DetailPreviewTiming timing, Scheduler& scheduler,
                               std::shared_ptr<DetailPreviewController> detail)
    : detailPreviewTiming_(timing)
    , scheduler_(&scheduler)
    , detail_(std::move(detail))
    , themeConfig_(PopupTheme::defaultTheme()) {}

PopupViewModel::~PopupViewModel() {
    detail_->cancelAllTasks();
    if (expandDebounceTask_) {
        expandDebounceTask_->cancel();
    }
}

void PopupViewModel::wireDetail() {
    std::weak_ptr<PopupViewModel> weak = weak_from_this();
    detail_->onReserveDetailSlot = [weak](const SnippetPtr& snippet) {
        if (auto self = weak.lock()) {
            self->reserveDetailSlot(snippet);
        }
    };
    detail_->projectRoot = [weak]() -> std::optional<std::string> {
        auto self = weak.lock();
        return self ? self->projectRoot_ : std::nullopt;
    };
    detail_->onLayoutChanged = [weak] {
        if (auto self = weak.lock()) {
            self->layoutChanged();
        }
    };
    // The detail column draws from the controller's fields, so their changes reach the views as
    // the view model's own.
    detail_->onChanged = [weak] {
        if (auto self = weak.lock()) {
            self->notify();
        }
    };
    detail_->shouldCommitPending = [weak](const Snippet& snippet) {
        auto self = weak.lock();
        if (!self || self->mode_ != PopupMode::search) {
            return false;
        }
        auto selected = self->selectedSnippet();
        return selected && selected->id == snippet.id;
    };
}

std::shared_ptr<PopupViewModel> PopupViewModel::makeSettingsPreview(Scheduler& scheduler) {
    auto model = create(DetailPreviewTiming::popup(), scheduler);
    model->setMode(PopupMode::search);
    model->setViewState(SearchViewState::results({
        sampleResult("preview-skill", "design-motion-principles", "design-motion-principles",
                     SnippetSource::claudeSkill(), "Motion design guidelines"),
        sampleResult("preview-npm", "dev-server-config", "npm run dev-server-config",
                     SnippetSource::npmScript()),
        sampleResult("preview-git", "feature/dark-mode", "feature/dark-mode", SnippetSource::gitRef(),
                     std::nullopt, std::map<std::string, std::string>{{"type", "branch"}}),
        sampleResult("preview-manual", "standup-template", "Yesterday: ...\nToday: ...\nBlockers: ...",
                     SnippetSource::manual()),
    }));
    model->setSelectedIndex(0);
    return model;
}

// Writers.

void PopupViewModel::setThemeConfig(const ThemeConfig& theme) {
    if (assign(themeConfig_, theme)) {
        clearLabelCache();
    }
}

void PopupViewModel::setCurrentQuery(const std::string& query) {
    assign(currentQuery_, query);
}

void PopupViewModel::setTriggerText(const std::string& text) {
    assign(triggerText_, text);
}

void PopupViewModel::setMode(PopupMode mode) {
    assign(mode_, mode);
}

void PopupViewModel::setAnimateLayoutChange(bool animate) {
    assign(animateLayoutChange_, animate);
}

void PopupViewModel::setViewState(SearchViewState state) {
    if (viewState_ == state) {
        // Same ids in the same order: keep the new ranges without redrawing.
        viewState_ = std::move(state);
        return;
    }
    assignAlways(viewState_, std::move(state));
}

// The selected row and the detail focus decide whether the detail column shows, so each real
// change also asks the window for a new frame.
void PopupViewModel::setSelectedIndex(int index) {
    if (assign(selectedIndex_, index)) {
        previewChanged();
    }
}

void PopupViewModel::setSelectedSearchRowIndex(int index) {
    if (assign(selectedSearchRowIndex_, index)) {
        previewChanged();
    }
}

void PopupViewModel::setFocusedPanel(FocusedPanel panel) {
    if (assign(focusedPanel_, panel)) {
        previewChanged();
    }
}

void PopupViewModel::setDetailScrollPosition(int position) {
    assign(detailScrollPosition_, position);
}

void PopupViewModel::setDetailScrollMax(int segmentCountMinusOne) {
    assign(detailScrollMax_, std::max(segmentCountMinusOne, 0));
}

void PopupViewModel::setDetailPanelSide(DetailPanelSide side) {
    assign(detailPanelSide_, side);
}

void PopupViewModel::setProjectRoot(const std::optional<std::string>& root) {
    assign(projectRoot_, root);
}

void PopupViewModel::setScopeRegistry(ScopeRegistry registry) {
    assignAlways(scopeRegistry_, std::move(registry));
}

void PopupViewModel::setLoadingCategories(std::set<std::string> categories) {
    assign(loadingCategories_, std::move(categories));
}

void PopupViewModel::cacheLabel(const LabelCacheKey& key, std::shared_ptr<const CachedLabel> label) {
    labelCache_[key] = std::move(label);
}

std::shared_ptr<const PopupViewModel::CachedLabel>
PopupViewModel::cachedLabel(const LabelCacheKey& key) const {
    auto found = labelCache_.find(key);
    return found == labelCache_.end() ? nullptr : found->second;
}

void PopupViewModel::clearLabelCache() {
    labelCache_.clear();
    notify();
}

// Derived values.

const SnippetSection* PopupViewModel::sectionWithID(const std::string& id) const {
    for (const SnippetSection& section : sections_) {
        if (section.id() == id) {
            return &section;
        }
    }
    return nullptr;
}

std::vector<SearchResult> PopupViewModel::allResults() const {
    if (sections_.empty()) {
        return viewState_.resultList();
    }
    std::vector<SearchResult> all;
    for (const SnippetSection& section : sections_) {
        all.insert(all.end(), section.results.begin(), section.results.end());
    }
    return all;
}

std::vector<PopupViewModel::Category> PopupViewModel::categories() const {
    std::vector<Category> categories;
    for (const SnippetSection& section : sections_) {
        if (!section.isCategory()) {
            continue;
        }
        categories.push_back(Category{section.id(), section.title(), section.sources(),
                                      section.totalCount.value_or(section.results.size()),
                                      section.scopeHint, loadingCategories_.contains(section.id())});
    }
    return categories;
}

const SnippetSection* PopupViewModel::selectedCategorySection() const {
    if (selectedCategoryIndex_ < 0) {
        return nullptr;
    }
    int index = 0;
    for (const SnippetSection& section : sections_) {
        if (!section.isCategory()) {
            continue;
        }
        if (index == selectedCategoryIndex_) {
            return sectionWithID(section.id());
        }
        ++index;
    }
    return nullptr;
}

const std::vector<SearchResult>& PopupViewModel::selectedCategoryItems() const {
    static const std::vector<SearchResult> none;
    const SnippetSection* section = selectedCategorySection();
    return section ? section->results : none;
}

std::optional<std::string> PopupViewModel::selectedCategoryHelpText() const {
    const SnippetSection* section = selectedCategorySection();
    return section ? section->helpText : std::nullopt;
}

std::vector<PopupViewModel::DisplayableResult> PopupViewModel::displayableResults() const {
    std::vector<DisplayableResult> rows;
    for (const SearchResult& result : viewState_.resultList()) {
        rows.push_back(DisplayableResult{result.snippet, result.matchRanges});
    }
    return rows;
}

const SearchRow* PopupViewModel::selectedSearchRow() const {
    if (!searchPresentation_ || selectedSearchRowIndex_ < 0 ||
        static_cast<std::size_t>(selectedSearchRowIndex_) >= searchPresentation_->rows.size()) {
        return nullptr;
    }
    return &searchPresentation_->rows[static_cast<std::size_t>(selectedSearchRowIndex_)];
}

std::optional<std::string> PopupViewModel::selectedSearchRowID() const {
    const SearchRow* row = selectedSearchRow();
    return row ? std::optional<std::string>(row->id) : std::nullopt;
}

PopupViewModel::SnippetPtr PopupViewModel::selectedBrowserItem() const {
    const auto& items = selectedCategoryItems();
    if (selectedItemIndexInCategory_ < 0 ||
        static_cast<std::size_t>(selectedItemIndexInCategory_) >= items.size()) {
        return nullptr;
    }
    return items[static_cast<std::size_t>(selectedItemIndexInCategory_)].snippet;
}

PopupViewModel::SnippetPtr PopupViewModel::selectedSnippet() const {
    if (mode_ == PopupMode::browser) {
        return selectedBrowserItem();
    }
    if (searchPresentation_) {
        const SearchRow* row = selectedSearchRow();
        const auto* snippetRow = row ? row->kind.asSnippet() : nullptr;
        return snippetRow ? snippetRow->result.snippet : nullptr;
    }
    const auto& results = viewState_.resultList();
    if (selectedIndex_ < 0 || static_cast<std::size_t>(selectedIndex_) >= results.size()) {
        return nullptr;
    }
    return results[static_cast<std::size_t>(selectedIndex_)].snippet;
}

std::optional<std::string> PopupViewModel::selectedSnippetID() const {
    if (searchPresentation_) {
        const SearchRow* row = selectedSearchRow();
        const auto* snippetRow = row ? row->kind.asSnippet() : nullptr;
        if (!snippetRow || !snippetRow->result.snippet) {
            return std::nullopt;
        }
        return snippetRow->result.snippet->id;
    }
    const auto& results = viewState_.resultList();
    if (selectedIndex_ < 0 || static_cast<std::size_t>(selectedIndex_) >= results.size() ||
        !results[static_cast<std::size_t>(selectedIndex_)].snippet) {
        return std::nullopt;
    }
    return results[static_cast<std::size_t>(selectedIndex_)].snippet->id;
}

std::optional<PreviewContent> PopupViewModel::previewContent(const std::string& snippetID) const {
    if (detail_->previewContentSnippetID() != snippetID) {
        return std::nullopt;
    }
    return detail_->currentPreviewContent();
}

bool PopupViewModel::isDetailColumnVisible() const {
    if (mode_ != PopupMode::search) {
        return false;
    }
    if (searchSessionDetailSlotReserved_) {
        return true;
    }
    const SearchRow* row = selectedSearchRow();
    return row && row->kind.asScope();
}

std::string PopupViewModel::statusContextText() const {
    if (isRefreshing_) {
        return "Refreshing…";
    }
    switch (mode_) {
    case PopupMode::browser:
        return "type to search";
    case PopupMode::search:
        return showsLoading() ? std::string(loadingText) : resultCountText(shownResultCount());
    case PopupMode::help:
        break;
    }
    return "";
}

std::string PopupViewModel::resultCountText(std::size_t count) {
    return std::to_string(count) + " result" + (count == 1 ? "" : "s");
}

std::optional<std::string> PopupViewModel::expandedDetailText(const Snippet& snippet) const {
    using Kind = SnippetSource::Kind;
    switch (snippet.source.kind()) {
    case Kind::manual:
        if (snippet.expansion.empty()) {
            return snippet.description;
        }
        return clusterPrefix(snippet.expansion, expandedTextLimit);
    case Kind::claudeSkill:
    case Kind::aiDoc:
        if (!snippet.description) {
            return std::nullopt;
        }
        return firstTwoLines(*snippet.description);
    case Kind::envVar:
        if (auto sourceFile = metadataValue(snippet, "sourceFile")) {
            return sourceFile;
        }
        return snippet.description;
    case Kind::gitRef:
        if (snippet.description) {
            return snippet.description;
        }
        if (auto lastCommit = metadataValue(snippet, "lastCommit")) {
            return "Last commit: " + *lastCommit;
        }
        return metadataValue(snippet, "type");
    case Kind::filePath: {
        std::string text = snippet.expansion;
        auto ext = metadataValue(snippet, "ext");
        if (ext && !ext->empty()) {
            text += " · ." + *ext + " file";
        }
        return text;
    }
    case Kind::gitRemote:
    case Kind::npmScript:
    case Kind::makeTarget:
    case Kind::custom:
        break;
    }
    if (!snippet.expansion.empty()) {
        return snippet.expansion;
    }
    return snippet.description;
}

// State operations.

void PopupViewModel::reserveDetailSlot(const SnippetPtr& snippet) {
    assign(searchSessionDetailSlotReserved_, true);
    const bool fileBacked = snippet && metadataValue(*snippet, "filePath").has_value();
    const double needed = fileBacked ? minDetailHeightFileBacked : minDetailHeightDefault;
    if (sessionDetailMinHeight_ < needed) {
        assign(sessionDetailMinHeight_, needed);
        layoutChanged();
    }
}

void PopupViewModel::selectSnippet(const std::string& snippetID) {
    if (mode_ == PopupMode::browser) {
        const auto categories = this->categories();
        for (std::size_t c = 0; c < categories.size(); ++c) {
            const SnippetSection* section = sectionWithID(categories[c].id);
            if (!section) {
                continue;
            }
            for (std::size_t i = 0; i < section->results.size(); ++i) {
                const auto& snippet = section->results[i].snippet;
                if (!snippet || snippet->id != snippetID) {
                    continue;
                }
                assign(selectedCategoryIndex_, static_cast<int>(c));
                assign(selectedItemIndexInCategory_, static_cast<int>(i));
                syncSelectedIndexFromBrowser();
                assign(scrollTargetID_, std::optional<std::string>(snippetID));
                scheduleExpandedSnippet();
                return;
            }
        }
        return;
    }
    if (searchPresentation_ && !searchPresentation_->rows.empty()) {
        const auto& rows = searchPresentation_->rows;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const auto* snippetRow = rows[r].kind.asSnippet();
            if (!snippetRow || !snippetRow->result.snippet || snippetRow->result.snippet->id != snippetID) {
                continue;
            }
            const int before = selectedSearchRowIndex_;
            setSelectedSearchRowIndex(static_cast<int>(r));
            syncSelectionFromSearchRow();
            if (mode_ == PopupMode::search && selectedSearchRowIndex_ != before) {
                feedDetail();
            }
            return;
        }
    }
    const auto& results = viewState_.resultList();
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (!results[i].snippet || results[i].snippet->id != snippetID) {
            continue;
        }
        const int before = selectedIndex_;
        setSelectedIndex(static_cast<int>(i));
        assign(scrollTargetID_, std::optional<std::string>(snippetID));
        if (mode_ == PopupMode::search && selectedIndex_ != before) {
            feedDetail();
        }
        return;
    }
}

void PopupViewModel::exitHelpMode() {
    detail_->cancelScheduledPreviews();
    if (mode_ == PopupMode::help) {
        setMode(PopupMode::search);
    }
    assign(isHelpMode_, false);
    assign(helpScrollPosition_, 0);
    layoutChanged();
}

void PopupViewModel::setAwaitingSources(bool awaiting) {
    if (assign(awaitsSources_, awaiting)) {
        layoutChanged();
    }
}

bool PopupViewModel::showsLoading() const {
    // The scopes offered when a scope finds nothing are no answer of the source still running.
    return isLoadingRecentFiles_ || (awaitsSources_ && viewState_.resultList().empty());
}

std::size_t PopupViewModel::shownResultCount() const {
    const std::size_t snippets = viewState_.resultList().size();
    // Under a scope typed, the scopes listed are offered in place of its matches, not found by it.
    if (!searchPresentation_ || displayChip_) {
        return snippets;
    }
    return snippets + static_cast<std::size_t>(
                          std::count_if(searchPresentation_->rows.begin(), searchPresentation_->rows.end(),
                                        [](const SearchRow& row) { return row.kind.asScope() != nullptr; }));
}

void PopupViewModel::setLoadingRecentFiles(bool loading) {
    if (assign(isLoadingRecentFiles_, loading)) {
        layoutChanged();
    }
}

void PopupViewModel::setRefreshing(bool refreshing) {
    if (assign(isRefreshing_, refreshing)) {
        layoutChanged();
    }
}

} // namespace korvane
