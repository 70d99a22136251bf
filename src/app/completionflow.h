#pragma once

#include "base/scheduler.h"
#include "config/configmanager.h"
#include "input/completionsessionengine.h"
#include "input/sessionevent.h"
#include "input/textinjector.h"
#include "input/triggerdetector.h"
#include "platform/activeappprovider.h"
#include "platform/alertpresenter.h"
#include "platform/pasteboard.h"
#include "platform/secureinputprobe.h"
#include "platform/urlopener.h"
#include "popup/popupcontroller.h"
#include "presentation/scopedefinition.h"
#include "providers/projectdetector.h"
#include "registry/historystore.h"
#include "search/scanpipeline.h"
#include "search/searchcoordinator.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// One completion session from the trigger to the insertion: it asks the session engine what each
// detector event means and carries out the commands, moves through the results, accepts (inserting,
// opening or rewriting the query for a scope) and saves the selection into the configuration. Main
// thread; what it schedules holds it weakly.
class CompletionFlow : public std::enable_shared_from_this<CompletionFlow> {
public:
    // The application and project the onboarding was opened over.
    struct CapturedContext {
        std::string bundleID;
        std::optional<std::string> projectRoot;
    };

    // The parts a session reaches; all outlive the flow (the scheduler) or are shared with it.
    struct Parts {
        Scheduler& scheduler;
        std::shared_ptr<TriggerDetector> triggerDetector;
        std::shared_ptr<PopupController> popupController;
        std::shared_ptr<SearchCoordinator> searchCoordinator;
        std::shared_ptr<ScanPipeline> scanPipeline;
        std::shared_ptr<HistoryStore> historyStore;
        ConfigManager& configManager;
        ProjectDetector& projectDetector;
        std::shared_ptr<SnippetRegistry> registry;
        std::shared_ptr<ActiveAppProvider> activeApp;
        std::shared_ptr<SecureInputProbe> secureInput;
        std::shared_ptr<Pasteboard> pasteboard;
        std::shared_ptr<TextInjector> injector;
        std::shared_ptr<AlertPresenter> alerts;
        std::shared_ptr<UrlOpener> urlOpener;
        std::int32_t ownPid = 0;
    };

    static constexpr double editDelay = 0.02;
    // When no tab had read the trigger's keys at its detection (a terminal busy drawing), the tabs are
    // read again this much later, at most keysUnreadRetries times, rather than the project guessed.
    static constexpr double keysUnreadRetryDelay = 0.004;
    static constexpr int keysUnreadRetries = 3;
    static constexpr double acceptLogThresholdMs = 10.0;

    explicit CompletionFlow(Parts parts);
    CompletionFlow(const CompletionFlow&) = delete;
    CompletionFlow& operator=(const CompletionFlow&) = delete;

    // Set by the composition root: where a project change, the refresh key and a saved snippet go,
    // and the onboarding's captured context while it is open over Korvane's own window.
    std::function<void(const std::optional<std::string>&, const std::optional<std::string>&)> onProjectChange;
    // Takes, when set, a change that the trigger's own detection found: the popup opening now shows the new
    // project, and what need not come before its first frame comes after it.
    std::function<void(const std::optional<std::string>&, const std::optional<std::string>&)>
        onProjectChangeAtTrigger;
    std::function<void()> onRefreshRequested;
    std::function<void()> onConfigSaved;
    // A session began over `root`; told before its first search.
    std::function<void(const std::optional<std::string>& root)> onSessionBegan;
    std::function<std::optional<CapturedContext>()> onboardingContext;
    // Korvane's own typing of a completion into the application in front is done.
    std::function<void()> onInserted;

    void executeCommands(const CompletionSessionEngine::Commands& commands);
    void handleSessionEvent(const SessionEvent& event);
    void dismissAndExecute(CompletionSessionEngine::DismissReason reason,
                           CompletionSessionEngine::ResetMode mode);
    // The project detector reported a change: applied now, or held back until the session ends.
    void projectDidChange(const std::optional<std::string>& root, const std::optional<std::string>& name);

    // Acceptance.
    void handleAccept(const std::string& query);
    void acceptScopeRow(const ScopeDefinition& definition, const std::string& query);
    std::string scopeCompletionText(const ScopeDefinition& definition, const std::string& query) const;
    static std::string normalizedForComparison(const std::string& text);
    // Records the use and types (or opens) the selected snippet in place of the trigger and query; the
    // popup hides through the accepted session's commands, once.
    void insertSelection(const std::string& query);
    void saveSelectionToConfig();
    void showInfoAlert(const std::string& title, const std::string& message);
    void openURL(const std::string& url);

    // The open session's pinned root, else the detector's.
    std::optional<std::string> currentRoot() const;
    bool caseSensitive() const;
    std::optional<SearchCoordinator::LiveSearchContext> searchContext() const;
    // Within a session, the application that was in front when it began.
    std::optional<FrontmostApplication> sessionApplication() const;
    const CompletionSessionEngine& sessionEngine() const { return sessionEngine_; }

private:
    void handleTriggerActivated();
    // The trigger's project detected again, for the session `session` if it is still open; a project
    // found other than its own begins the session anew over it, with the query typed so far.
    void detectAgainAtTrigger(std::uint64_t session, int retriesLeft);
    void retryWhileKeysUnread(int retriesLeft);
    void detectAtTrigger(const std::optional<FrontmostApplication>& front);
    void beginSessionOver(const std::optional<std::string>& root, const std::string& bundleID);
    void notifyInserted(bool inserted);
    void handleQueryUpdated(const std::string& query);
    void handleEscape();
    void handleNavigate(NavigationDirection direction);
    void handleSpace();
    void handleHelpBack();
    void handleHorizontalNavigate(HorizontalDirection direction);
    // Carries out the help-mode answer of the engine; true when the key was spent leaving help.
    bool leftHelpMode(std::optional<CompletionSessionEngine::Commands> commands);
    template <typename Action> void guardAction(Action action);
    void recordSelection(const Snippet& snippet, const std::string& query,
                         const std::optional<std::string>& root);
    void copySelection();
    void openSelection();
    void resetDetector(CompletionSessionEngine::ResetMode mode);
    std::optional<FrontmostApplication> frontmost() const;
    std::size_t deletionCount(const std::string& trigger, const std::string& query) const;
    PopupViewModel& model() const { return parts_.popupController->viewModel(); }

    Parts parts_;
    CompletionSessionEngine sessionEngine_;
    // The frontmost application when the open session began.
    std::optional<FrontmostApplication> sessionFrontmost_;
    // While a trigger detects its project.
    bool detectingAtTrigger_ = false;
};

} // namespace korvane
