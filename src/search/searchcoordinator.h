#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/scheduler.h"
#include "config/popupposition.h"
#include "config/scoperegistry.h"
#include "model/livescopeprovider.h"
#include "model/searchoptions.h"
#include "model/searchresult.h"
#include "model/snippetsource.h"
#include "presentation/scopecatalog.h"
#include "presentation/searchdisplay.h"
#include "presentation/searchshellvariant.h"
#include "presentation/searchupdate.h"
#include "presentation/searchviewstate.h"
#include "providers/customprovider.h"
#include "registry/parsedquery.h"
#include "registry/queryintent.h"
#include "registry/snippetregistry.h"
#include "registry/snippetsection.h"
#include "search/filesearchsource.h"
#include "search/searchasyncupdateengine.h"
#include "search/searchpresentationcomposer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace korvane {

// Why a search runs; its name appears in the performance log.
enum class SearchSource { input, recentFilesReady, scanRefresh, helpExit, deferred };

std::string_view toString(SearchSource source);

// Answers every query of a completion session: classifies the text, picks one of five roads (help,
// scope picker, live scope, browse, registry search), decides what the popup shows including its
// empty states, keeps the answer fresh when the registry, a scan or the recent files change, and
// holds late answers back while the user navigates. Each answer goes to the display as one update.
// Main thread; its tasks and callbacks hold it weakly, and only provider calls run on background jobs.
class SearchCoordinator : public std::enable_shared_from_this<SearchCoordinator> {
public:
    // The environment one search runs in.
    struct LiveSearchContext {
        std::optional<std::string> projectRoot;
        bool scanInFlight = false;
        // The sources whose rows are still on their way (ScanPipeline::loadingSources): the categories
        // they fill count nothing yet.
        std::unordered_set<SnippetSource> loadingSources;
        SearchOptions searchOptions;
        std::vector<std::string> activeCategories;
        PopupPosition popupPosition = PopupPosition::automatic;
    };

    // The frontmost application as a live command sees it; empty texts when unknown.
    struct FrontmostApplicationInfo {
        std::string bundleID;
        std::string name;
    };

    static constexpr double duplicateInputWindow = 0.08;
    static constexpr double performanceThresholdMs = 10.0;
    static constexpr double liveScopeDebounce = 0.05;
    static constexpr double customLiveTimeout = 3.0;
    static constexpr std::size_t urlSnippetLimit = 10;
    static constexpr std::size_t recentFileLimit = 8;
    static constexpr const char* logCategory = "SearchCoordinator.Performance";

    // `registry`, `scheduler` and `clock` must outlive the coordinator. The engine's clock is the
    // monotonic one of `clock`, so that a wall clock that jumps changes no interval.
    static std::shared_ptr<SearchCoordinator> create(SnippetRegistry& registry,
                                                     std::shared_ptr<SearchDisplay> display,
                                                     Scheduler& scheduler, const Clock& clock);
    ~SearchCoordinator();
    SearchCoordinator(const SearchCoordinator&) = delete;
    SearchCoordinator& operator=(const SearchCoordinator&) = delete;

    // Filled by the application shell.
    std::unordered_map<SnippetSource, std::shared_ptr<LiveScopeProvider>> liveScopeProviders;
    std::unordered_map<std::string, std::shared_ptr<CustomProvider>> customLiveProviders;
    // The project's file paths: recent files for the browser, the file query merged into ordinary
    // results, and the files scope's messages when it is also the live provider of `filePath`.
    std::shared_ptr<FileSearchSource> filePathSource;

    std::function<void()> onDismissNeeded;
    std::function<void(bool)> onHorizontalSuppressionChanged;
    std::function<std::optional<LiveSearchContext>()> contextProvider;
    std::function<FrontmostApplicationInfo()> frontmostApplication;

    const ScopeRegistry& scopeRegistry() const { return scopeRegistry_; }
    const std::optional<std::string>& activeQuery() const { return activeQuery_; }
    std::int64_t searchGeneration() const { return searchGeneration_; }
    bool hasSeenResultsInSession() const { return hasSeenResultsInSession_; }
    void setHasSeenResultsInSession(bool seen) { hasSeenResultsInSession_ = seen; }
    const SearchEmptyState& noMatchesState() const { return noMatchesState_; }
    const std::optional<SearchPresentationComposer::Context>& unifiedAtContext() const {
        return unifiedAtContext_;
    }
    const std::optional<SearchShellVariant>& lastUnifiedVariantLog() const { return lastUnifiedVariantLog_; }
    bool hasLiveQueryTask() const { return liveQueryTask_.has_value(); }
    SearchAsyncUpdateEngine& asyncUpdateEngine() const { return *asyncUpdateEngine_; }

    // Answers one query.
    void performSearch(const std::string& query, SearchSource source, const LiveSearchContext& context);
    // The user moved the selection: late answers wait until navigation has been idle a while.
    void noteNavigation();
    // The duplicate-keystroke filter: true for the same text within 0.08 s of the last one accepted.
    bool shouldSkipDuplicateInput(const std::string& query);
    // Forgets the query and the @-context and cancels the live query and every pending update.
    void resetSession();
    // What the session engine's end of a session clears.
    void endSession();
    void updateScopeManifest(ScopeRegistry registry);

    // Refresh entry points.
    void rerenderForRegistryChange(const std::optional<std::string>& projectRoot, bool caseSensitive,
                                   const std::vector<std::string>& activeCategories);
    void handleScanRefresh();
    void handleRecentFilesReady(const std::optional<std::string>& currentProjectRoot,
                                const std::string& readyRoot);
    void deferRefresh(const std::string& reason);
    void flushDeferredWork();
    static bool sameResultIdentity(const std::vector<SearchResult>& a, const std::vector<SearchResult>& b);

    // The query a text stands for: a literal text is searched as itself, everything else as parsed
    // against the scope tables. Every search of the text, first or repeated, goes through here.
    ParsedQuery parsedQuery(const std::string& text) const;
    // The same from the text's intent, which has already read the text.
    ParsedQuery parsedQuery(const QueryIntent& intent, const std::string& text) const;
    // The browser's sections, the "files" section listing the project's recent files; those whose items
    // are still on their way are marked loading: the ones holding any of `loadingSources`, the files
    // while the recent files are read with none known yet.
    std::vector<SnippetSection> browserSections(const std::optional<std::string>& projectRoot,
                                                const std::vector<std::string>& activeCategories,
                                                const std::unordered_set<SnippetSource>& loadingSources);

private:
    static bool isFilesScope(const ParsedQuery& parsed);
    static bool isBareScope(const ParsedQuery& parsed);
    // What an empty query shows: the URL snippets when the search is for URLs only, else the browser.
    // Whether rows the query may list are still on their way: a scan of the project, or a source of
    // its scope still running.
    static bool scopeSourceRunning(const ParsedQuery& parsed, const LiveSearchContext& context);
    std::vector<SnippetSection> emptyQuerySections(const ParsedQuery& parsed, const LiveSearchContext& context);
    enum class LiveKind { builtIn, custom };
    // What a live query carries from its start to its completion.
    struct LiveQuery {
        LiveKind kind = LiveKind::builtIn;
        double debounce = 0;
        std::shared_ptr<LiveScopeProvider> provider;
        std::shared_ptr<CustomProvider> customProvider;
        std::string text;
        std::string fullQuery;
        std::string projectRoot;
        bool caseSensitive = false;
        FrontmostApplicationInfo application;
        std::optional<QueryChip> chip;
        std::optional<SnippetSource> scope;
        SnippetSource source = SnippetSource::filePath();
        bool bareScope = false;
        // Started by a refresh: its answer keeps the entry selected when it arrives.
        bool keepsSelection = false;
    };
    // What a refresh asks of the search it re-runs.
    struct Refresh {
        // The entry selected before the refresh; kept selected, also until the merged files are in.
        std::optional<std::string> keptSelectionID;
        bool clearsLoadingRecentFiles = false;
    };

    SearchCoordinator(SnippetRegistry& registry, std::shared_ptr<SearchDisplay> display, Scheduler& scheduler,
                      const Clock& clock);

    double now() const;
    bool isPopupVisible() const { return display_->isVisible(); }
    // Takes the road for `query` and hands the display its update.
    void route(const std::string& query, const LiveSearchContext& context, SearchUpdate update);
    void routeRegistry(const ParsedQuery& parsed, const LiveSearchContext& context, SearchUpdate update);
    // Re-runs the active query for a refresh, keeping the selected entry.
    void refreshSearch(SearchSource source, bool clearsLoadingRecentFiles = false);
    // Ranks an ordinary query's files again and merges them behind its other rows, the list on screen
    // staying until they come.
    void mergeFilesAgain(const ParsedQuery& parsed);
    // Whether a file query can run for `projectRoot`.
    bool canQueryFiles(const std::optional<std::string>& projectRoot) const;
    // Whether a list made again for `projectRoot` waits for the file rows that follow its answer: the
    // list on screen holds file rows, which the answer alone would drop until they are merged again.
    bool waitsForFileRows(const std::optional<std::string>& projectRoot) const;
    void publish(SearchUpdate update);
    ScopeCatalog::Inputs catalogInputs() const;
    SearchPresentation compose(const std::vector<SearchResult>& results, bool scopeDisabled,
                               const std::optional<std::string>& message);
    void recordVariant(SearchShellVariant variant);

    // Puts `results` into `update` as plain results, or through the composer inside an @-context.
    void setResults(SearchUpdate& update, std::vector<SearchResult> results,
                    const std::optional<QueryChip>& chip, const std::optional<SnippetSource>& scope,
                    bool urlOnly, bool scopeDisabled, bool liveScope, bool bareScope,
                    const std::optional<SearchEmptyState>& emptyState,
                    const std::optional<std::string>& projectRoot);
    // The same for a registry answer, whose results it takes when it can.
    void setResults(SearchUpdate& update, SearchResponse& response, bool bareScope,
                    const std::optional<SearchEmptyState>& emptyState,
                    const std::optional<std::string>& projectRoot);
    // What the merge keeps of a registry answer that was `shown`, or held back.
    SearchAsyncUpdateEngine::RegistryAnswer answerFor(SearchResponse response, bool shown) const;
    void showBrowse(SearchUpdate update, const ParsedQuery& parsed, const LiveSearchContext& context);
    void dismiss();

    void startLiveScopeQuery(SearchUpdate update, LiveQuery query);
    void startCustomLiveQuery(SearchUpdate update, LiveQuery query);
    void runLiveQuery(LiveQuery query);
    void completeLiveQuery(const LiveQuery& query, std::vector<SearchResult> results,
                           const CancellationToken& task);
    SearchEmptyState customEmptyHint(const CustomProviderConfig& config) const;
    void showNoProject(SearchUpdate update, const LiveQuery& query);

    void scheduleFileQuery(const std::string& text, std::int64_t generation, bool caseSensitive,
                           const std::optional<std::string>& projectRoot,
                           const std::optional<SearchEmptyState>& noMatches,
                           SearchAsyncUpdateEngine::RegistryAnswer registryAnswer);
    SearchAsyncUpdateEngine::MergeDependencies makeMergeDependencies();
    std::function<void()> deferredIdleHandler();
    void logPerformance(const std::string& query, SearchSource source, double start) const;

    SnippetRegistry& registry_;
    std::shared_ptr<SearchDisplay> display_;
    Scheduler& scheduler_;
    const Clock& clock_;
    ScopeRegistry scopeRegistry_;
    std::optional<std::string> activeQuery_;
    std::int64_t searchGeneration_ = 0;
    bool hasSeenResultsInSession_ = false;
    SearchEmptyState noMatchesState_{"No matches", SearchEmptyState::Style::standard};
    SearchPresentationComposer presentationComposer_;
    std::optional<SearchPresentationComposer::Context> unifiedAtContext_;
    std::optional<SearchShellVariant> lastUnifiedVariantLog_;
    std::optional<CancellationToken> liveQueryTask_;
    // Set only while a refresh re-runs the active query.
    std::optional<Refresh> refresh_;
    std::shared_ptr<SearchAsyncUpdateEngine> asyncUpdateEngine_;
    std::optional<std::string> lastDeliveredInputQuery_;
    double lastDeliveredInputQueryAt_ = 0;
};

} // namespace korvane
