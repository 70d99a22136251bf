#include "input/completionsessionengine.h"

#include "base/unicode.h"

#include <array>
#include <utility>

namespace korvane {
namespace {

bool sameText(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    return !a || canonicallyEqual(*a, *b);
}

constexpr std::array<std::pair<CompletionSessionEngine::DismissReason, std::string_view>, 6> kReasonNames{{
    {CompletionSessionEngine::DismissReason::accepted, "accepted"},
    {CompletionSessionEngine::DismissReason::escaped, "escaped"},
    {CompletionSessionEngine::DismissReason::escapeCleared, "escapeCleared"},
    {CompletionSessionEngine::DismissReason::appSwitch, "appSwitch"},
    {CompletionSessionEngine::DismissReason::tapReenable, "tapReenable"},
    {CompletionSessionEngine::DismissReason::horizontalNav, "horizontalNav"},
}};

} // namespace

bool CompletionSessionEngine::DeferredProjectChange::operator==(const DeferredProjectChange& other) const {
    return sameText(root, other.root) && sameText(name, other.name);
}

bool CompletionSessionEngine::RunSearch::operator==(const RunSearch& other) const {
    return canonicallyEqual(query, other.query);
}

bool CompletionSessionEngine::ApplyProjectChange::operator==(const ApplyProjectChange& other) const {
    return sameText(root, other.root) && sameText(name, other.name);
}

bool CompletionSessionEngine::DeferProjectChange::operator==(const DeferProjectChange& other) const {
    return sameText(root, other.root) && sameText(name, other.name);
}

bool CompletionSessionEngine::BeginSession::operator==(const BeginSession& other) const {
    return id == other.id && sameText(projectRoot, other.projectRoot);
}

CompletionSessionEngine::Commands
CompletionSessionEngine::beginSession(std::optional<std::string> projectRoot) {
    Commands commands;
    if (auto* open = std::get_if<ActiveSession>(&state_)) {
        commands.emplace_back(EndSession{});
        // The project detector reports a root only when it changes, so a change held back by the
        // replaced session would otherwise never be applied.
        if (open->deferredProjectChange) {
            commands.emplace_back(
                ApplyProjectChange{open->deferredProjectChange->root, open->deferredProjectChange->name});
        }
    }
    const std::uint64_t id = nextSessionID_++;
    state_ = ActiveSession{id, projectRoot, "", std::nullopt};
    commands.emplace_back(BeginSession{id, std::move(projectRoot)});
    return commands;
}

CompletionSessionEngine::Commands CompletionSessionEngine::accept() {
    return end(DismissReason::accepted, ResetMode::reset);
}

CompletionSessionEngine::Commands CompletionSessionEngine::dismiss(DismissReason reason,
                                                                   ResetMode resetMode) {
    return end(reason, resetMode);
}

CompletionSessionEngine::Commands CompletionSessionEngine::end(DismissReason reason, ResetMode resetMode) {
    auto* open = std::get_if<ActiveSession>(&state_);
    if (open == nullptr) {
        return {};
    }
    const std::optional<DeferredProjectChange> deferred = std::move(open->deferredProjectChange);
    state_ = Idle{};
    Commands commands{EndSession{}, DismissPopup{reason}, CancelSearchTasks{}, ResetDetector{resetMode}};
    if (deferred) {
        commands.emplace_back(ApplyProjectChange{deferred->root, deferred->name});
    }
    return commands;
}

CompletionSessionEngine::Commands CompletionSessionEngine::projectDidChange(std::optional<std::string> root,
                                                                            std::optional<std::string> name) {
    if (auto* open = std::get_if<ActiveSession>(&state_)) {
        open->deferredProjectChange = DeferredProjectChange{root, name};
        return {DeferProjectChange{std::move(root), std::move(name)}};
    }
    return {ApplyProjectChange{std::move(root), std::move(name)}};
}

std::optional<CompletionSessionEngine::Commands> CompletionSessionEngine::keyInHelpMode(bool helpShown) {
    if (!helpShown) {
        return std::nullopt;
    }
    Commands commands{ExitHelpMode{}};
    for (Command& command : end(DismissReason::escaped, ResetMode::reset)) {
        commands.push_back(std::move(command));
    }
    return commands;
}

std::optional<CompletionSessionEngine::Commands>
CompletionSessionEngine::queryInHelpMode(bool helpShown, std::string_view query) {
    return keyInHelpMode(helpShown && !query.empty() && query != "?");
}

std::string_view toString(CompletionSessionEngine::DismissReason reason) {
    for (const auto& [value, name] : kReasonNames) {
        if (value == reason) {
            return name;
        }
    }
    return "escaped";
}

std::optional<CompletionSessionEngine::DismissReason> dismissReasonFromString(std::string_view text) {
    for (const auto& [value, name] : kReasonNames) {
        if (name == text) {
            return value;
        }
    }
    return std::nullopt;
}

bool CompletionSessionEngine::setQuery(std::string query) {
    auto* session = std::get_if<ActiveSession>(&state_);
    if (!session) {
        return false;
    }
    session->query = std::move(query);
    return true;
}

} // namespace korvane
