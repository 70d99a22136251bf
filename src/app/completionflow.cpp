// A completion session from the trigger to the insertion, on the main thread.
#include "app/completionflow.h"

#include "app/openableurl.h"
#include "base/controlcharacters.h"
#include "base/diagnostics.h"
#include "base/graphemescanner.h"
#include "base/graphemetext.h"
#include "base/unicode.h"
#include "registry/parsedquery.h"
#include "registry/queryintentresolver.h"
#include "registry/templateexpansion.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <regex>

namespace korvane {

using DismissReason = CompletionSessionEngine::DismissReason;
using ResetMode = CompletionSessionEngine::ResetMode;

namespace {

template <class... Visitors> struct Overloaded : Visitors... { using Visitors::operator()...; };
template <class... Visitors> Overloaded(Visitors...) -> Overloaded<Visitors...>;

// Where an edit of the frontmost application must land: captured when the user accepts, checked
// again by the injector right before it types.
struct EditTarget {
    std::optional<std::int32_t> pid;
    std::string bundleID;
    std::optional<std::uint64_t> window;
};

// Where the edit must land: the frontmost application and window now. With no application in front,
// none may be in front when the edit runs either.
EditTarget editTargetNow(ActiveAppProvider& apps) {
    const auto front = apps.frontmostApplication();
    return {front ? std::optional<std::int32_t>(front->pid) : std::nullopt,
            front ? front->bundleID : std::string(), apps.activeWindowID()};
}

// The snippet's expansion with its placeholders filled; a snippet placeholder names a manual snippet
// by its label. Text a project wrote (`withUserContent` false) may fill in dates and UUIDs, but never
// pull the clipboard or the user's other snippets (a secret among them) into what is typed, and loses
// its bidirectional controls, which could make a command read otherwise than it runs.
std::string expandedText(const Snippet& snippet, const std::vector<Snippet>& manualSnippets,
                         Pasteboard& pasteboard, bool withUserContent) {
    std::map<std::string, std::string> lookup;
    for (const Snippet& manual : manualSnippets) {
        lookup.emplace(manual.label, manual.expansion);
    }
    TemplateProviders providers = defaultTemplateProviders(pasteboard);
    TemplateResolver resolver = [&lookup](const std::string& name) -> const std::string* {
        const auto found = lookup.find(name);
        return found == lookup.end() ? nullptr : &found->second;
    };
    if (!withUserContent) {
        providers.clipboard = nullptr;
        resolver = nullptr;
        return ControlCharacters::withoutBidiControls(expandTemplate(snippet.expansion, providers, resolver));
    }
    return expandTemplate(snippet.expansion, providers, resolver);
}

std::string trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && isSpace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return text.substr(begin, end - begin);
}

} // namespace

CompletionFlow::CompletionFlow(Parts parts)
    : parts_(std::move(parts)) {}

void CompletionFlow::executeCommands(const CompletionSessionEngine::Commands& commands) {
    for (const auto& command : commands) {
        std::visit(
            Overloaded{
                [&](const CompletionSessionEngine::RunSearch& search) {
                    if (auto context = searchContext()) {
                        parts_.searchCoordinator->performSearch(search.query, SearchSource::input, *context);
                    }
                },
                [&](const CompletionSessionEngine::DismissPopup&) { parts_.popupController->hide(); },
                [&](const CompletionSessionEngine::ResetDetector& reset) { resetDetector(reset.mode); },
                [&](const CompletionSessionEngine::ApplyProjectChange& change) {
                    const auto& apply = detectingAtTrigger_ && onProjectChangeAtTrigger
                                            ? onProjectChangeAtTrigger
                                            : onProjectChange;
                    if (apply) {
                        apply(change.root, change.name);
                    }
                },
                [](const CompletionSessionEngine::DeferProjectChange&) {},
                [&](const CompletionSessionEngine::BeginSession& begin) {
                    if (onSessionBegan) {
                        onSessionBegan(begin.projectRoot);
                    }
                },
                [&](const CompletionSessionEngine::CancelSearchTasks&) {
                    parts_.searchCoordinator->resetSession();
                },
                [&](const CompletionSessionEngine::EndSession&) { parts_.searchCoordinator->endSession(); },
                [&](const CompletionSessionEngine::ExitHelpMode&) { model().exitHelpMode(); },
            },
            command);
    }
}

void CompletionFlow::resetDetector(ResetMode mode) {
    switch (mode) {
    case ResetMode::reset:
        parts_.triggerDetector->reset();
        break;
    case ResetMode::resetArmed:
        parts_.triggerDetector->resetArmed();
        break;
    case ResetMode::pause:
        parts_.triggerDetector->pause();
        break;
    }
}

void CompletionFlow::projectDidChange(const std::optional<std::string>& root,
                                      const std::optional<std::string>& name) {
    executeCommands(sessionEngine_.projectDidChange(root, name));
}

void CompletionFlow::handleSessionEvent(const SessionEvent& event) {
    namespace e = sessionevent;
    std::visit(
        Overloaded{
            [&](const e::TriggerActivated&) { handleTriggerActivated(); },
            [&](const e::QueryUpdated& update) { handleQueryUpdated(update.query); },
            [&](const e::Accepted& accepted) { handleAccept(accepted.query); },
            [&](const e::Dismissed&) { dismissAndExecute(DismissReason::escaped, ResetMode::reset); },
            [&](const e::Navigate& navigate) { handleNavigate(navigate.direction); },
            [&](const e::CopyRequested&) { guardAction([this] { copySelection(); }); },
            [&](const e::OpenRequested&) { guardAction([this] { openSelection(); }); },
            [&](const e::SaveRequested&) { guardAction([this] { saveSelectionToConfig(); }); },
            [&](const e::RefreshRequested&) {
                guardAction([this] {
                    if (onRefreshRequested) {
                        onRefreshRequested();
                    }
                });
            },
            [&](const e::SpacePressed&) { handleSpace(); },
            [&](const e::HorizontalNavigate& navigate) { handleHorizontalNavigate(navigate.direction); },
            [&](const e::EscapePressed&) { handleEscape(); },
            [&](const e::HelpBackRequested&) { handleHelpBack(); },
        },
        event);
}

void CompletionFlow::handleQueryUpdated(const std::string& query) {
    if (parts_.searchCoordinator->shouldSkipDuplicateInput(query)) {
        return;
    }
    if (leftHelpMode(sessionEngine_.queryInHelpMode(model().isHelpMode(), query))) {
        return;
    }
    if (sessionEngine_.setQuery(query)) {
        executeCommands({CompletionSessionEngine::RunSearch{query}});
    }
}

void CompletionFlow::handleEscape() {
    PopupViewModel& view = model();
    if (leftHelpMode(sessionEngine_.keyInHelpMode(view.isHelpMode()))) {
        return;
    }
    if (view.focusedPanel() == PopupViewModel::FocusedPanel::detail) {
        view.toggleDetailFocus();
        return;
    }
    const auto query = parts_.triggerDetector->currentQuery();
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

void CompletionFlow::handleNavigate(NavigationDirection direction) {
    PopupViewModel& view = model();
    if (view.isHelpMode()) {
        direction == NavigationDirection::up ? view.scrollHelpUp() : view.scrollHelpDown();
        return;
    }
    parts_.searchCoordinator->noteNavigation();
    if (view.mode() == PopupMode::search) {
        view.detail().noteNavigationEvent();
    }
    direction == NavigationDirection::up ? view.moveSelectionUp() : view.moveSelectionDown();
}

bool CompletionFlow::leftHelpMode(std::optional<CompletionSessionEngine::Commands> commands) {
    if (!commands) {
        return false;
    }
    executeCommands(*commands);
    return true;
}

template <typename Action> void CompletionFlow::guardAction(Action action) {
    if (!leftHelpMode(sessionEngine_.keyInHelpMode(model().isHelpMode()))) {
        action();
    }
}

void CompletionFlow::copySelection() {
    const auto snippet = model().selectedSnippet();
    if (!snippet) {
        return;
    }
    // A copy is pasted into a terminal as readily as text is typed there: it gets the same cleaning.
    std::string text =
        ControlCharacters::strip(snippet->isUrlSnippet() ? *snippet->url : snippet->expansion).text;
    if (!parts_.configManager.expandsWithUserContent(*snippet)) {
        text = ControlCharacters::withoutBidiControls(text);
    }
    parts_.pasteboard->replaceWithString(text);
}

void CompletionFlow::openSelection() {
    const auto snippet = model().selectedSnippet();
    if (snippet && snippet->url && isOpenableURL(*snippet->url)) {
        openURL(*snippet->url);
    }
}

void CompletionFlow::handleSpace() {
    if (!leftHelpMode(sessionEngine_.keyInHelpMode(model().isHelpMode()))) {
        model().toggleDetailFocus();
    }
}

void CompletionFlow::handleHelpBack() {
    model().exitHelpMode();
    if (auto context = searchContext()) {
        parts_.searchCoordinator->performSearch("", SearchSource::helpExit, *context);
    }
}

void CompletionFlow::handleHorizontalNavigate(HorizontalDirection direction) {
    PopupViewModel& view = model();
    if (view.isHelpMode()) {
        handleHelpBack();
    } else if (view.mode() == PopupMode::browser) {
        view.moveBrowserFocus(direction == HorizontalDirection::right);
    } else {
        dismissAndExecute(DismissReason::horizontalNav, ResetMode::reset);
    }
}

// Shared helpers.

std::optional<std::string> CompletionFlow::currentRoot() const {
    if (const auto* session = std::get_if<CompletionSessionEngine::ActiveSession>(&sessionEngine_.state())) {
        return session->pinnedRoot;
    }
    return parts_.projectDetector.currentProjectRoot();
}

bool CompletionFlow::caseSensitive() const {
    return parts_.configManager.mergedConfig().settings.caseSensitive;
}

void CompletionFlow::dismissAndExecute(DismissReason reason, ResetMode mode) {
    executeCommands(sessionEngine_.dismiss(reason, mode));
}

std::optional<SearchCoordinator::LiveSearchContext> CompletionFlow::searchContext() const {
    SearchCoordinator::LiveSearchContext context;
    context.projectRoot = currentRoot();
    context.scanInFlight = parts_.scanPipeline && parts_.scanPipeline->scanInFlight;
    if (parts_.scanPipeline) {
        context.loadingSources = parts_.scanPipeline->loadingSources();
    }
    context.searchOptions.caseSensitive = caseSensitive();
    context.activeCategories = parts_.configManager.activeCategories();
    const auto front = sessionApplication();
    context.popupPosition = parts_.configManager.popupPosition(
        front ? std::optional<std::string>(front->bundleID) : std::nullopt);
    return context;
}

std::optional<FrontmostApplication> CompletionFlow::frontmost() const {
    return parts_.activeApp->frontmostApplication();
}

// Asked for every keystroke: within a session the application read at its start stands, rather than
// asking the display again.
std::optional<FrontmostApplication> CompletionFlow::sessionApplication() const {
    if (std::holds_alternative<CompletionSessionEngine::ActiveSession>(sessionEngine_.state())) {
        return sessionFrontmost_;
    }
    return frontmost();
}

// The popup hides and the search tasks stop once, through the engine's commands for the accepted
// session; with no session open they are carried out all the same.
void CompletionFlow::handleAccept(const std::string& query) {
    if (const SearchRow* row = model().selectedSearchRow()) {
        if (const auto* scope = row->kind.asScope()) {
            acceptScopeRow(scope->definition, query);
            return;
        }
    }
    if (leftHelpMode(sessionEngine_.keyInHelpMode(model().isHelpMode()))) {
        return;
    }
    insertSelection(query);
    CompletionSessionEngine::Commands commands = sessionEngine_.accept();
    if (commands.empty()) {
        commands = {CompletionSessionEngine::DismissPopup{DismissReason::accepted},
                    CompletionSessionEngine::CancelSearchTasks{}};
    }
    executeCommands(commands);
}

std::string CompletionFlow::scopeCompletionText(const ScopeDefinition& definition,
                                                const std::string& query) const {
    const QueryIntent intent = QueryIntentResolver::resolve(query, model().scopeRegistry());
    if (const auto* scoped = intent.asScopedSearch()) {
        const std::string text = trimmed(scoped->query);
        if (!text.empty()) {
            return "@" + definition.primaryAlias + " " + text;
        }
    }
    return "@" + definition.primaryAlias + " ";
}

std::string CompletionFlow::normalizedForComparison(const std::string& text) {
    static const std::regex whitespace("\\s+");
    return std::regex_replace(trimmed(text), whitespace, " ");
}

// The typed query is replaced by its scoped form and the detector replays what now stands in the
// document, so that the new query starts a session of its own. The trigger is typed back with the
// completion: the detector counts it as typed, and the next insertion deletes it.
void CompletionFlow::acceptScopeRow(const ScopeDefinition& definition, const std::string& query) {
    const std::string completion = scopeCompletionText(definition, query);
    if (normalizedForComparison(query) == normalizedForComparison(completion)) {
        return;
    }
    const std::string trigger = parts_.triggerDetector->trigger();
    const std::size_t count = deletionCount(trigger, query);
    const EditTarget target = editTargetNow(*parts_.activeApp);
    const std::string typed = trigger + completion;
    std::weak_ptr<CompletionFlow> weak = weak_from_this();
    std::shared_ptr<TextInjector> injector = parts_.injector;
    parts_.scheduler.postAfter(editDelay, [weak, injector, count, typed, target] {
        injector->injectAsync(
            count, typed, target.pid, target.bundleID, target.window, [weak, typed](bool injected) {
                auto self = weak.lock();
                if (!self) {
                    return;
                }
                self->parts_.triggerDetector->reset();
                if (!injected) {
                    // Nothing changed in the document: the session ends rather than wait for keys.
                    self->dismissAndExecute(DismissReason::escaped, ResetMode::reset);
                    return;
                }
                GraphemeScanner scanner;
                scanner.start(typed);
                std::size_t begin = 0;
                for (std::size_t end = scanner.next(); end != GraphemeScanner::npos;
                     begin = end, end = scanner.next()) {
                    self->parts_.triggerDetector->processKey(0, typed.substr(begin, end - begin), 0);
                }
            });
    });
}

void CompletionFlow::insertSelection(const std::string& query) {
    const auto start = std::chrono::steady_clock::now();
    const auto snippet = model().selectedSnippet();
    if (!snippet) {
        return;
    }
    const auto root = currentRoot();
    recordSelection(*snippet, query, root);
    const std::size_t count = deletionCount(parts_.configManager.globalConfig().trigger, query);
    const EditTarget target = editTargetNow(*parts_.activeApp);

    const double elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > acceptLogThresholdMs) {
        char line[160];
        std::snprintf(line, sizeof line, "[ACCEPT] snippet=%s query_len=%zu elapsed=%.2fms",
                      snippet->id.substr(0, 40).c_str(), graphemeCount(query), elapsed);
        performanceLog("AppCoordinator.Performance", line);
    }

    std::shared_ptr<TextInjector> injector = parts_.injector;
    if (snippet->isUrlSnippet() && isOpenableURL(*snippet->url)) {
        std::weak_ptr<CompletionFlow> weak = weak_from_this();
        parts_.scheduler.postAfter(editDelay, [weak, injector, count, target, url = *snippet->url] {
            injector->deleteOnlyAsync(count, target.pid, target.bundleID, target.window,
                                      [weak, url](bool deleted) {
                                          auto self = weak.lock();
                                          if (self && deleted) {
                                              self->notifyInserted(true);
                                              self->openURL(url);
                                          }
                                      });
        });
        return;
    }
    const std::string text =
        expandedText(*snippet, parts_.configManager.mergedManualSnippets(target.bundleID, root),
                     *parts_.pasteboard, parts_.configManager.expandsWithUserContent(*snippet));
    std::weak_ptr<CompletionFlow> weak = weak_from_this();
    parts_.scheduler.postAfter(editDelay, [weak, injector, count, text, target] {
        injector->injectAsync(count, text, target.pid, target.bundleID, target.window, [weak](bool injected) {
            if (auto self = weak.lock()) {
                self->notifyInserted(injected);
            }
        });
    });
}

void CompletionFlow::notifyInserted(bool inserted) {
    if (inserted && onInserted) {
        onInserted();
    }
}

// The use counts for the frecency ranking, and a scope of its own (recent files) remembers it too.
void CompletionFlow::recordSelection(const Snippet& snippet, const std::string& query,
                                     const std::optional<std::string>& root) {
    parts_.historyStore->recordUsage(snippet.id);
    const ParsedQuery parsed = ParsedQuery::parse(query, parts_.searchCoordinator->scopeRegistry());
    if (!parsed.scopes || parsed.scopes->size() != 1 || !root) {
        return;
    }
    const auto& providers = parts_.searchCoordinator->liveScopeProviders;
    if (const auto provider = providers.find(parsed.scopes->front()); provider != providers.end()) {
        provider->second->recordSelection(snippet.id, *root);
    }
}

void CompletionFlow::saveSelectionToConfig() {
    const auto snippet = model().selectedSnippet();
    if (!snippet) {
        return;
    }
    if (snippet->source == SnippetSource::manual() && !snippet->id.starts_with("builtin:")) {
        showInfoAlert("Already Saved", "This snippet is already in your config.");
        return;
    }
    const auto key = ConfigLoader::sanitizedKey(snippet->label);
    if (!key) {
        showInfoAlert("Cannot Save", "The snippet label cannot be converted to a valid key.");
        return;
    }
    ManualSnippet manual;
    manual.key = *key;
    if (snippet->isUrlSnippet()) {
        manual.url = snippet->url;
    } else {
        manual.expand = snippet->expansion.empty() ? snippet->label : snippet->expansion;
    }
    if (snippet->displayName) {
        manual.label = snippet->displayName;
    } else if (snippet->label != *key) {
        manual.label = snippet->label;
    }
    manual.description = snippet->description;

    const auto added = parts_.configManager.configLoader().addSnippet(manual);
    if (!added) {
        const auto& error = added.error();
        if (error.kind() == ConfigLoader::AddSnippetError::Kind::duplicateKey) {
            showInfoAlert("Key Exists",
                          "A snippet with key '" + error.payload() + "' already exists in your config.");
        } else {
            showInfoAlert("Save Failed", error.description());
        }
        return;
    }
    const auto& project = parts_.configManager.projectConfig();
    const bool overridden = project && project->snippets &&
                            std::any_of(project->snippets->begin(), project->snippets->end(),
                                        [&](const ManualSnippet& other) { return other.key == *key; });
    if (overridden) {
        showInfoAlert("Saved with Warning", "Snippet '" + *key +
                                                "' saved to global config.\n\nNote: A project config may "
                                                "override this key in some projects.");
    } else {
        showInfoAlert("Saved", "Snippet '" + *key + "' added to global config.");
    }
    if (onConfigSaved) {
        onConfigSaved();
    }
}

void CompletionFlow::openURL(const std::string& url) {
    parts_.urlOpener->open(url);
}

void CompletionFlow::showInfoAlert(const std::string& title, const std::string& message) {
    parts_.alerts->showInfoAlert(title, message);
}

// The trigger and the query in user-perceived characters. The detector also counts what went past
// the query's capacity, which the query itself no longer holds.
std::size_t CompletionFlow::deletionCount(const std::string& trigger, const std::string& query) const {
    return graphemeCount(trigger) +
           std::max(graphemeCount(query), parts_.triggerDetector->typedCharacterCount());
}

} // namespace korvane
