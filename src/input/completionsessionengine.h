#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace korvane {

// The side-effect-free state machine of a completion session (open or not, its id, pinned root and any
// project change held back meanwhile); each operation returns the commands the shell carries out in order.
// Main-thread only.
class CompletionSessionEngine {
public:
    enum class ResetMode { reset, resetArmed, pause };

    enum class DismissReason { accepted, escaped, escapeCleared, appSwitch, tapReenable, horizontalNav };

    struct DeferredProjectChange {
        std::optional<std::string> root;
        std::optional<std::string> name;

        bool operator==(const DeferredProjectChange& other) const;
    };

    struct ActiveSession {
        std::uint64_t id = 0;
        std::optional<std::string> pinnedRoot;
        std::string query;
        std::optional<DeferredProjectChange> deferredProjectChange;
    };

    struct Idle {
        bool operator==(const Idle&) const = default;
    };

    using State = std::variant<ActiveSession, Idle>;

    struct RunSearch {
        std::string query;
        bool operator==(const RunSearch& other) const;
    };
    struct DismissPopup {
        DismissReason reason;
        bool operator==(const DismissPopup&) const = default;
    };
    struct ResetDetector {
        ResetMode mode;
        bool operator==(const ResetDetector&) const = default;
    };
    struct ApplyProjectChange {
        std::optional<std::string> root;
        std::optional<std::string> name;
        bool operator==(const ApplyProjectChange& other) const;
    };
    struct DeferProjectChange {
        std::optional<std::string> root;
        std::optional<std::string> name;
        bool operator==(const DeferProjectChange& other) const;
    };
    struct BeginSession {
        std::uint64_t id = 0;
        std::optional<std::string> projectRoot;
        bool operator==(const BeginSession& other) const;
    };
    struct CancelSearchTasks {
        bool operator==(const CancelSearchTasks&) const = default;
    };
    struct EndSession {
        bool operator==(const EndSession&) const = default;
    };
    // Leave the quick reference the popup shows in place of results.
    struct ExitHelpMode {
        bool operator==(const ExitHelpMode&) const = default;
    };

    using Command =
        std::variant<RunSearch, DismissPopup, ResetDetector, ApplyProjectChange, DeferProjectChange,
                     BeginSession, CancelSearchTasks, EndSession, ExitHelpMode>;
    using Commands = std::vector<Command>;

    Commands beginSession(std::optional<std::string> projectRoot);
    Commands accept();
    Commands dismiss(DismissReason reason, ResetMode resetMode);
    Commands projectDidChange(std::optional<std::string> root, std::optional<std::string> name);
    // While the popup shows its quick reference, Escape, Space, Return and the Ctrl actions leave it and
    // end the session; nullopt when no help is shown and the key keeps its usual meaning.
    std::optional<Commands> keyInHelpMode(bool helpShown);
    // Typing in the quick reference ends it too, except for the empty query and the "?" that opened it.
    std::optional<Commands> queryInHelpMode(bool helpShown, std::string_view query);
    // Stores the query of the open session; false when no session is open.
    bool setQuery(std::string query);

    const State& state() const { return state_; }
    std::uint64_t nextSessionID() const { return nextSessionID_; }

private:
    Commands end(DismissReason reason, ResetMode resetMode);

    State state_ = Idle{};
    std::uint64_t nextSessionID_ = 1;
};

std::string_view toString(CompletionSessionEngine::DismissReason reason);
std::optional<CompletionSessionEngine::DismissReason> dismissReasonFromString(std::string_view text);

} // namespace korvane
