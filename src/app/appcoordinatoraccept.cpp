// Acceptance: rewriting the query for a picked scope, inserting or opening the chosen snippet, and
// saving it into the global configuration. Main thread.
#include "app/appcoordinator.h"

#include "app/openableurl.h"
#include "base/diagnostics.h"
#include "base/graphemescanner.h"
#include "base/unicode.h"
#include "registry/parsedquery.h"
#include "registry/queryintentresolver.h"
#include "registry/templateexpansion.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <regex>

namespace korvane {

using DismissReason = CompletionSessionEngine::DismissReason;
using ResetMode = CompletionSessionEngine::ResetMode;

namespace {

// Where an edit of the frontmost application must land: captured when the user accepts, checked
// again by the injector right before it types.
struct EditTarget {
    std::optional<std::int32_t> pid;
    std::string bundleID;
    std::optional<std::uint64_t> window;
};

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

void AppCoordinator::handleAccept(const std::string& query) {
    PopupViewModel& model = popupController_->viewModel();
    if (const SearchRow* row = model.selectedSearchRow()) {
        if (const auto* scope = row->kind.asScope()) {
            acceptScopeRow(scope->definition, query);
            return;
        }
    }
    if (model.isHelpMode()) {
        model.exitHelpMode();
        dismissAndExecute(DismissReason::escaped, ResetMode::reset);
        return;
    }
    insertSelection(query);
    executeCommands(sessionEngine_.accept());
}

std::string AppCoordinator::scopeCompletionText(const ScopeDefinition& definition, const std::string& query) const {
    const QueryIntent intent = QueryIntentResolver::resolve(query, popupController_->viewModel().scopeRegistry());
    if (const auto* scoped = intent.asScopedSearch()) {
        const std::string text = trimmed(scoped->query);
        if (!text.empty()) {
            return "@" + definition.primaryAlias + " " + text;
        }
    }
    return "@" + definition.primaryAlias + " ";
}

std::string AppCoordinator::normalizedForComparison(const std::string& text) {
    static const std::regex whitespace("\\s+");
    return std::regex_replace(trimmed(text), whitespace, " ");
}

// The typed query is replaced by its scoped form and the detector replays what now stands in the
// document, so that the new query starts a session of its own. The trigger is typed back with the
// completion: the detector counts it as typed, and the next insertion deletes it.
void AppCoordinator::acceptScopeRow(const ScopeDefinition& definition, const std::string& query) {
    const std::string completion = scopeCompletionText(definition, query);
    if (normalizedForComparison(query) == normalizedForComparison(completion)) {
        return;
    }
    const std::string trigger = triggerDetector_->trigger();
    const std::size_t count = deletionCount(trigger, query);
    const auto front = frontmost();
    const EditTarget target{front ? std::optional<std::int32_t>(front->pid) : std::nullopt,
                            front ? front->bundleID : std::string(), platform_.activeApp->activeWindowID()};
    const std::string typed = trigger + completion;
    std::weak_ptr<AppCoordinator> weak = weak_from_this();
    std::shared_ptr<TextInjector> injector = platform_.injector;
    scheduler_.postAfter(editDelay, [weak, injector, count, typed, target] {
        injector->injectAsync(count, typed, target.pid, target.bundleID, target.window, [weak, typed](bool injected) {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            self->triggerDetector_->reset();
            if (!injected) {
                // Nothing changed in the document: the session ends rather than wait for keys.
                self->dismissAndExecute(DismissReason::escaped, ResetMode::reset);
                return;
            }
            GraphemeScanner scanner;
            scanner.start(typed);
            std::size_t begin = 0;
            for (std::size_t end = scanner.next(); end != GraphemeScanner::npos; begin = end, end = scanner.next()) {
                self->triggerDetector_->processKey(0, typed.substr(begin, end - begin), 0);
            }
        });
    });
}

void AppCoordinator::insertSelection(const std::string& query) {
    const auto start = std::chrono::steady_clock::now();
    searchCoordinator_->resetSession();
    const auto snippet = popupController_->viewModel().selectedSnippet();
    if (!snippet) {
        hidePopup();
        return;
    }
    historyStore_->recordUsage(snippet->id);

    const ParsedQuery parsed = ParsedQuery::parse(query, searchCoordinator_->scopeRegistry());
    const auto root = currentRoot();
    if (parsed.scopes && parsed.scopes->size() == 1 && root) {
        const auto provider = searchCoordinator_->liveScopeProviders.find(parsed.scopes->front());
        if (provider != searchCoordinator_->liveScopeProviders.end()) {
            provider->second->recordSelection(snippet->id, *root);
        }
    }

    const std::size_t count = deletionCount(configManager_->globalConfig().trigger, query);
    const auto front = frontmost();
    // With no application in front, none may be in front when the edit runs either.
    const EditTarget target{front ? std::optional<std::int32_t>(front->pid) : std::nullopt,
                            front ? front->bundleID : std::string(), platform_.activeApp->activeWindowID()};
    hidePopup();

    const double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > acceptLogThresholdMs) {
        char line[160];
        std::snprintf(line, sizeof line, "[ACCEPT] snippet=%s query_len=%zu elapsed=%.2fms",
                      snippet->id.substr(0, 40).c_str(), graphemeCount(query), elapsed);
        performanceLog("AppCoordinator.Performance", line);
    }

    std::shared_ptr<TextInjector> injector = platform_.injector;
    if (snippet->isUrlSnippet() && isOpenableURL(*snippet->url)) {
        std::weak_ptr<AppCoordinator> weak = weak_from_this();
        const std::string url = *snippet->url;
        scheduler_.postAfter(editDelay, [weak, injector, count, target, url] {
            injector->deleteOnlyAsync(count, target.pid, target.bundleID, target.window, [weak, url](bool deleted) {
                auto self = weak.lock();
                if (self && deleted) {
                    self->openURL(url);
                }
            });
        });
        return;
    }

    std::map<std::string, std::string> lookup;
    for (const Snippet& manual : configManager_->mergedManualSnippets(target.bundleID, root)) {
        lookup.emplace(manual.label, manual.expansion);
    }
    // Text a project wrote may fill in dates and UUIDs, but never pull the clipboard or the user's
    // other snippets (a secret among them) into what is typed.
    TemplateProviders providers = defaultTemplateProviders(*platform_.pasteboard);
    TemplateResolver resolver = [&lookup](const std::string& name) -> const std::string* {
        const auto found = lookup.find(name);
        return found == lookup.end() ? nullptr : &found->second;
    };
    if (!configManager_->expandsWithUserContent(*snippet)) {
        providers.clipboard = nullptr;
        resolver = nullptr;
    }
    const std::string text = expandTemplate(snippet->expansion, providers, resolver);
    scheduler_.postAfter(editDelay, [injector, count, text, target] {
        injector->inject(count, text, target.pid, target.bundleID, target.window);
    });
}

void AppCoordinator::saveSelectionToConfig() {
    const auto snippet = popupController_->viewModel().selectedSnippet();
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

    const auto added = configManager_->configLoader().addSnippet(manual);
    if (!added) {
        const auto& error = added.error();
        if (error.kind() == ConfigLoader::AddSnippetError::Kind::duplicateKey) {
            showInfoAlert("Key Exists", "A snippet with key '" + error.payload() + "' already exists in your config.");
        } else {
            showInfoAlert("Save Failed", error.description());
        }
        return;
    }
    const auto& project = configManager_->projectConfig();
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
    reloadGlobalConfig();
}

void AppCoordinator::showInfoAlert(const std::string& title, const std::string& message) {
    platform_.alerts->showInfoAlert(title, message);
}

// The trigger and the query in user-perceived characters. The detector also counts what went past
// the query's capacity, which the query itself no longer holds.
std::size_t AppCoordinator::deletionCount(const std::string& trigger, const std::string& query) const {
    return graphemeCount(trigger) + std::max(graphemeCount(query), triggerDetector_->typedCharacterCount());
}

} // namespace korvane
