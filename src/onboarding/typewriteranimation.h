#pragma once

#include "base/cancellationtoken.h"
#include "base/observerlist.h"
#include "base/scheduler.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The welcome step's demonstration, without its drawing: ordinary text typed, the trigger, a mock
// popup that narrows as the user filters, the completion inserted; two scenarios in a loop, timed on
// the scheduler. Its rows and texts are its own constants. Main thread only; held by std::shared_ptr.
class TypewriterAnimation : public std::enable_shared_from_this<TypewriterAnimation> {
public:
    enum class Phase { typing = 0, trigger = 1, filtering = 2, completed = 3 };
    enum class DemoColor { gray, orange, blue, purple };

    struct PopupRow {
        std::string id;
        std::string badge;
        DemoColor badgeColor;
        std::string label;
    };

    struct Scenario {
        std::string baseText;
        std::string filterChars;
        std::string completedText;
        std::vector<PopupRow> allRows;
    };

    // A row's label cut around the first match of the filter, which is drawn bold.
    struct HighlightedLabel {
        std::string before;
        std::string bold;
        std::string after;
    };

    using ObserverID = ObserverList<>::ID;

    static std::shared_ptr<TypewriterAnimation> create(Scheduler& scheduler);
    ~TypewriterAnimation();
    TypewriterAnimation(const TypewriterAnimation&) = delete;
    TypewriterAnimation& operator=(const TypewriterAnimation&) = delete;

    static const char* caption(Phase phase);
    static DemoColor dotColor(Phase phase);
    static std::vector<Scenario> defaultScenarios();

    // Observation: `observer` runs after every state change, until removed.
    ObserverID addObserver(std::function<void()> observer);
    void removeObserver(ObserverID id);

    // Starts the scenario loop and the caret's blink; a loop already running is stopped first, so
    // that two never type into the same field.
    void startAnimation();
    // Stops both loops; the scenario loop runs on, without waiting, up to its next check.
    void stopAnimation();
    bool isRunning() const { return running_; }

    Phase phase() const { return phase_; }
    const std::string& displayedText() const { return displayedText_; }
    bool showPopup() const { return showPopup_; }
    const std::string& filterText() const { return filterText_; }
    bool showCheckmark() const { return showCheckmark_; }
    bool cursorVisible() const { return cursorVisible_; }
    std::size_t scenarioIndex() const { return scenarioIndex_; }
    const std::vector<Scenario>& scenarios() const { return scenarios_; }

    std::vector<PopupRow> filteredRows() const;
    HighlightedLabel highlightedLabel(const std::string& label) const;

    static constexpr const char* triggerChars = ";;";
    static constexpr double popupContainerHeight = 92.0;

private:
    // One instruction of a run: optionally a cancellation check first, then the change, then a wait.
    struct Step {
        bool checksCancellation;
        std::function<void()> change;
        int waitMs;
    };

    explicit TypewriterAnimation(Scheduler& scheduler);
    std::vector<Step> stepsOfRun();
    void beginRun();
    void runFrom(std::size_t index);
    void blink();
    void notify();

    Scheduler& scheduler_;
    std::vector<Scenario> scenarios_;
    Phase phase_ = Phase::typing;
    std::string displayedText_;
    bool showPopup_ = false;
    std::string filterText_;
    bool showCheckmark_ = false;
    bool cursorVisible_ = true;
    std::size_t scenarioIndex_ = 0;

    bool running_ = false;
    bool cancelled_ = false;
    std::vector<Step> steps_;
    std::optional<std::size_t> pendingStep_;
    std::optional<CancellationToken> stepTimer_;
    std::optional<CancellationToken> blinkTimer_;
    ObserverList<> observers_;
};

} // namespace korvane
