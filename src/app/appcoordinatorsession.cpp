// The coordinator's side of a completion session: the commands the session engine returns and the
// handlers of the detector's events, all on the main thread.
#include "app/appcoordinator.h"

#include "app/openableurl.h"
#include "registry/parsedquery.h"

#include <type_traits>

namespace korvane {

using DismissReason = CompletionSessionEngine::DismissReason;
using ResetMode = CompletionSessionEngine::ResetMode;

namespace {

template <class... Visitors> struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <class... Visitors> Overloaded(Visitors...) -> Overloaded<Visitors...>;

} // namespace

void AppCoordinator::executeCommands(const CompletionSessionEngine::Commands& commands) {
    for (const auto& command : commands) {
        std::visit(Overloaded{
                       [&](const CompletionSessionEngine::RunSearch& search) {
                           if (auto context = searchContext()) {
                               searchCoordinator_->performSearch(search.query, SearchSource::input, *context);
                           }
                       },
                       [&](const CompletionSessionEngine::DismissPopup&) { hidePopup(); },
                       [&](const CompletionSessionEngine::ResetDetector& reset) {
                           switch (reset.mode) {
                           case ResetMode::reset:
                               triggerDetector_->reset();
                               break;
                           case ResetMode::resetArmed:
                               triggerDetector_->resetArmed();
                               break;
                           case ResetMode::pause:
                               triggerDetector_->pause();
                               break;
                           }
                       },
                       [&](const CompletionSessionEngine::ApplyProjectChange& change) {
                           handleProjectChange(change.root, change.name);
                       },
                       [](const CompletionSessionEngine::DeferProjectChange&) {},
                       [](const CompletionSessionEngine::BeginSession&) {},
                       [&](const CompletionSessionEngine::CancelSearchTasks&) { searchCoordinator_->resetSession(); },
                       [&](const CompletionSessionEngine::EndSession&) { searchCoordinator_->endSession(); },
                   },
                   command);
    }
}

void AppCoordinator::handleSessionEvent(const SessionEvent& event) {
    namespace e = sessionevent;
    std::visit(Overloaded{
                   [&](const e::TriggerActivated&) { handleTriggerActivated(); },
                   [&](const e::QueryUpdated& update) { handleQueryUpdated(update.query); },
                   [&](const e::Accepted& accepted) { handleAccept(accepted.query); },
                   [&](const e::Dismissed&) { dismissAndExecute(DismissReason::escaped, ResetMode::reset); },
                   [&](const e::Navigate& navigate) { handleNavigate(navigate.direction); },
                   [&](const e::CopyRequested&) { guardAction([this] { copySelection(); }); },
                   [&](const e::OpenRequested&) { guardAction([this] { openSelection(); }); },
                   [&](const e::SaveRequested&) { guardAction([this] { saveSelectionToConfig(); }); },
                   [&](const e::RefreshRequested&) { guardAction([this] { handleRefreshRequested(); }); },
                   [&](const e::SpacePressed&) { handleSpace(); },
                   [&](const e::HorizontalNavigate& navigate) { handleHorizontalNavigate(navigate.direction); },
                   [&](const e::EscapePressed&) { handleEscape(); },
                   [&](const e::HelpBackRequested&) { handleHelpBack(); },
               },
               event);
}

void AppCoordinator::handleTriggerActivated() {
    // The key tap sees keys typed into password fields too: no session opens over one, and what the
    // detector collected there is dropped.
    if (platform_.secureInput && platform_.secureInput->isSecureInputEnabled()) {
        triggerDetector_->reset();
        return;
    }
    const auto front = frontmost();
    // A session ends when the frontmost application changes, so what is in front now holds for it.
    sessionFrontmost_ = front;
    std::string bundleID = front ? front->bundleID : std::string();
    std::optional<std::string> root;
    const bool ownWindow = front && front->pid == platform_.ownPid;
    if (isOnboardingActive_ && ownWindow && onboardingCapturedContext_) {
        root = onboardingCapturedContext_->projectRoot;
        bundleID = onboardingCapturedContext_->bundleID;
    } else {
        projectDetector_->detectProjectRoot();
        root = projectDetector_->currentProjectRoot();
    }
    executeCommands(sessionEngine_.beginSession(root));
    const auto current = currentRoot();
    if (configManager_->shouldUpdateManualSnippets(bundleID, current)) {
        registry_->updateSnippets(SnippetSource::manual(), configManager_->mergedManualSnippets(bundleID, current));
    }
}

void AppCoordinator::handleQueryUpdated(const std::string& query) {
    if (searchCoordinator_->shouldSkipDuplicateInput(query)) {
        return;
    }
    PopupViewModel& model = popupController_->viewModel();
    if (model.isHelpMode() && !query.empty() && query != "?") {
        model.exitHelpMode();
        dismissAndExecute(DismissReason::escaped, ResetMode::reset);
        return;
    }
    if (sessionEngine_.setQuery(query)) {
        executeCommands({CompletionSessionEngine::RunSearch{query}});
    }
}

void AppCoordinator::handleEscape() {
    PopupViewModel& model = popupController_->viewModel();
    if (model.isHelpMode()) {
        model.exitHelpMode();
        dismissAndExecute(DismissReason::escaped, ResetMode::reset);
        return;
    }
    if (model.focusedPanel() == PopupViewModel::FocusedPanel::detail) {
        model.toggleDetailFocus();
        return;
    }
    const auto query = triggerDetector_->currentQuery();
    if (!query || query->empty()) {
        dismissAndExecute(DismissReason::escapeCleared, ResetMode::resetArmed);
        return;
    }
    if (std::holds_alternative<CompletionSessionEngine::ActiveSession>(sessionEngine_.state())) {
        // The session stays open with the popup hidden: the next printable key resumes it.
        executeCommands({CompletionSessionEngine::CancelSearchTasks{},
                         CompletionSessionEngine::DismissPopup{DismissReason::escaped},
                         CompletionSessionEngine::ResetDetector{ResetMode::pause}});
    }
}

void AppCoordinator::handleNavigate(NavigationDirection direction) {
    PopupViewModel& model = popupController_->viewModel();
    if (model.isHelpMode()) {
        direction == NavigationDirection::up ? model.scrollHelpUp() : model.scrollHelpDown();
        return;
    }
    searchCoordinator_->noteNavigation();
    if (model.mode() == PopupMode::search) {
        model.detail().noteNavigationEvent();
    }
    direction == NavigationDirection::up ? model.moveSelectionUp() : model.moveSelectionDown();
}

template <typename Action> void AppCoordinator::guardAction(Action action) {
    PopupViewModel& model = popupController_->viewModel();
    if (model.isHelpMode()) {
        model.exitHelpMode();
        dismissAndExecute(DismissReason::escaped, ResetMode::reset);
        return;
    }
    action();
}

void AppCoordinator::copySelection() {
    const auto snippet = popupController_->viewModel().selectedSnippet();
    if (!snippet) {
        return;
    }
    platform_.pasteboard->replaceWithString(snippet->isUrlSnippet() ? *snippet->url : snippet->expansion);
}

void AppCoordinator::openSelection() {
    const auto snippet = popupController_->viewModel().selectedSnippet();
    if (snippet && snippet->url && isOpenableURL(*snippet->url)) {
        openURL(*snippet->url);
    }
}

void AppCoordinator::handleSpace() {
    PopupViewModel& model = popupController_->viewModel();
    if (model.isHelpMode()) {
        model.exitHelpMode();
        dismissAndExecute(DismissReason::escaped, ResetMode::reset);
        return;
    }
    model.toggleDetailFocus();
}

void AppCoordinator::handleHelpBack() {
    popupController_->viewModel().exitHelpMode();
    if (auto context = searchContext()) {
        searchCoordinator_->performSearch("", SearchSource::helpExit, *context);
    }
}

void AppCoordinator::handleHorizontalNavigate(HorizontalDirection direction) {
    PopupViewModel& model = popupController_->viewModel();
    if (model.isHelpMode()) {
        handleHelpBack();
    } else if (model.mode() == PopupMode::browser) {
        model.moveBrowserFocus(direction == HorizontalDirection::right);
    } else {
        dismissAndExecute(DismissReason::horizontalNav, ResetMode::reset);
    }
}

// Shared helpers.

std::optional<std::string> AppCoordinator::currentRoot() const {
    if (const auto* session = std::get_if<CompletionSessionEngine::ActiveSession>(&sessionEngine_.state())) {
        return session->pinnedRoot;
    }
    return projectDetector_->currentProjectRoot();
}

bool AppCoordinator::caseSensitive() const {
    return configManager_ && configManager_->mergedConfig().settings.caseSensitive;
}

void AppCoordinator::hidePopup() {
    popupController_->hide();
}

void AppCoordinator::dismissAndExecute(DismissReason reason, ResetMode mode) {
    executeCommands(sessionEngine_.dismiss(reason, mode));
}

std::optional<SearchCoordinator::LiveSearchContext> AppCoordinator::searchContext() {
    SearchCoordinator::LiveSearchContext context;
    context.projectRoot = currentRoot();
    context.scanInFlight = scanPipeline_ && scanPipeline_->scanInFlight;
    context.searchOptions.caseSensitive = caseSensitive();
    context.activeCategories = configManager_->activeCategories();
    const auto front = sessionApplication();
    context.popupPosition = configManager_->popupPosition(
        front ? std::optional<std::string>(front->bundleID) : std::nullopt);
    return context;
}

std::optional<FrontmostApplication> AppCoordinator::frontmost() const {
    return platform_.activeApp->frontmostApplication();
}

// Asked for every keystroke: within a session the application read at its start stands, rather than
// asking the display again.
std::optional<FrontmostApplication> AppCoordinator::sessionApplication() const {
    if (std::holds_alternative<CompletionSessionEngine::ActiveSession>(sessionEngine_.state())) {
        return sessionFrontmost_;
    }
    return frontmost();
}

std::string AppCoordinator::frontmostBundleID() const {
    const auto front = frontmost();
    return front ? front->bundleID : std::string();
}

} // namespace korvane
