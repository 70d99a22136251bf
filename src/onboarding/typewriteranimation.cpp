#include "onboarding/typewriteranimation.h"

#include "base/unicode.h"

namespace korvane {
namespace {

constexpr int typingDelayMs = 40;
constexpr int triggerPauseMs = 150;
constexpr int popupOpenMs = 1200;
constexpr int filterDelayMs = 80;
constexpr int filterPauseMs = 800;
constexpr int closingMs = 150;
constexpr int insertionPauseMs = 600;
constexpr int holdMs = 1500;
constexpr double blinkInterval = 0.53;

constexpr const char* firstCompletion = "vercel-react-best-practices";
constexpr const char* firstTail = " to review the implementation";

} // namespace

std::shared_ptr<TypewriterAnimation> TypewriterAnimation::create(Scheduler& scheduler) {
    return std::shared_ptr<TypewriterAnimation>(new TypewriterAnimation(scheduler));
}

TypewriterAnimation::TypewriterAnimation(Scheduler& scheduler)
    : scheduler_(scheduler)
    , scenarios_(defaultScenarios()) {}

TypewriterAnimation::~TypewriterAnimation() {
    if (stepTimer_) {
        stepTimer_->cancel();
    }
    if (blinkTimer_) {
        blinkTimer_->cancel();
    }
}

const char* TypewriterAnimation::caption(Phase phase) {
    switch (phase) {
    case Phase::typing:
        return "Writing normally...";
    case Phase::trigger:
        return "Trigger detected!";
    case Phase::filtering:
        return "Filtering results...";
    case Phase::completed:
        return "Completion inserted!";
    }
    return "";
}

TypewriterAnimation::DemoColor TypewriterAnimation::dotColor(Phase phase) {
    switch (phase) {
    case Phase::typing:
        return DemoColor::gray;
    case Phase::trigger:
    case Phase::filtering:
        return DemoColor::orange;
    case Phase::completed:
        return DemoColor::blue;
    }
    return DemoColor::gray;
}

std::vector<TypewriterAnimation::Scenario> TypewriterAnimation::defaultScenarios() {
    return {
        Scenario{"use the ",
                 "",
                 "use the vercel-react-best-practices to review the implementation",
                 {{"1", "Skill", DemoColor::purple, "vercel-react-best-practices"},
                  {"2", "Skill", DemoColor::purple, "design-motion-principles"},
                  {"3", "Skill", DemoColor::purple, "skill-creator"}}},
        Scenario{"$ git checkout ",
                 "feat",
                 "$ git checkout feat/user-auth",
                 {{"1", "Git", DemoColor::orange, "feat/user-auth"},
                  {"2", "Git", DemoColor::orange, "feat/api-v2"},
                  {"3", "Git", DemoColor::orange, "main"}}},
    };
}

TypewriterAnimation::ObserverID TypewriterAnimation::addObserver(std::function<void()> observer) {
    return observers_.add(std::move(observer));
}

void TypewriterAnimation::removeObserver(ObserverID id) {
    observers_.remove(id);
}

void TypewriterAnimation::notify() {
    observers_.notify();
}

void TypewriterAnimation::startAnimation() {
    if (running_) {
        stopAnimation();
    }
    cancelled_ = false;
    running_ = true;
    blinkTimer_ = CancellationToken();
    blink();
    beginRun();
}

void TypewriterAnimation::stopAnimation() {
    if (!running_) {
        return;
    }
    cancelled_ = true;
    running_ = false;
    if (blinkTimer_) {
        blinkTimer_->cancel();
        blinkTimer_.reset();
    }
    if (stepTimer_) {
        stepTimer_->cancel();
        stepTimer_.reset();
    }
    // A wait ends at once when its loop is cancelled: the run goes on to its next check.
    if (auto next = pendingStep_) {
        pendingStep_.reset();
        runFrom(*next);
    }
}

// Schedules the next blink; the first call only arms the timer.
void TypewriterAnimation::blink() {
    std::weak_ptr<TypewriterAnimation> weak = weak_from_this();
    const CancellationToken current = *blinkTimer_;
    scheduler_.postAfter(blinkInterval, [weak, current] {
        auto self = weak.lock();
        if (!self || current.isCancelled() || !self->blinkTimer_ || !(*self->blinkTimer_ == current)) {
            return;
        }
        self->cursorVisible_ = !self->cursorVisible_;
        self->notify();
        self->blink();
    });
}

void TypewriterAnimation::beginRun() {
    steps_ = stepsOfRun();
    runFrom(0);
}

void TypewriterAnimation::runFrom(std::size_t index) {
    for (; index < steps_.size(); ++index) {
        const Step& step = steps_[index];
        if (step.checksCancellation && cancelled_) {
            return;
        }
        if (step.change) {
            step.change();
            notify();
        }
        if (step.waitMs > 0 && !cancelled_) {
            pendingStep_ = index + 1;
            std::weak_ptr<TypewriterAnimation> weak = weak_from_this();
            const CancellationToken token =
                scheduler_.postAfter(step.waitMs / 1000.0, [weak, next = index + 1] {
                    auto self = weak.lock();
                    if (!self || !self->pendingStep_ || *self->pendingStep_ != next || self->cancelled_) {
                        return;
                    }
                    self->pendingStep_.reset();
                    self->stepTimer_.reset();
                    self->runFrom(next);
                });
            stepTimer_ = token;
            return;
        }
    }
    // The loop runs as long as it is not cancelled, with no pause between two runs.
    if (!cancelled_) {
        beginRun();
    }
}

// One run of the scenario at `scenarioIndex_`. The texts are ASCII, so a byte is a character.
std::vector<TypewriterAnimation::Step> TypewriterAnimation::stepsOfRun() {
    const std::size_t index = scenarioIndex_;
    const Scenario scenario = scenarios_[index];
    std::vector<Step> steps;
    steps.push_back({false,
                     [this] {
                         phase_ = Phase::typing;
                         displayedText_.clear();
                         showPopup_ = false;
                         filterText_.clear();
                         showCheckmark_ = false;
                     },
                     0});
    for (char c : scenario.baseText) {
        steps.push_back({true, [this, c] { displayedText_ += c; }, typingDelayMs});
    }
    steps.push_back({true,
                     [this] {
                         phase_ = Phase::trigger;
                         displayedText_ += triggerChars;
                     },
                     triggerPauseMs});
    steps.push_back({false, [this] { showPopup_ = true; }, popupOpenMs});
    steps.push_back({true, [this] { phase_ = Phase::filtering; }, 0});
    for (char c : scenario.filterChars) {
        steps.push_back({true,
                         [this, c, base = scenario.baseText] {
                             filterText_ += c;
                             displayedText_ = base + triggerChars + filterText_;
                         },
                         filterDelayMs});
    }
    steps.push_back({false, {}, filterPauseMs});
    steps.push_back({true, [this] { showPopup_ = false; }, closingMs});
    if (index == 0) {
        steps.push_back({false,
                         [this, base = scenario.baseText] {
                             phase_ = Phase::completed;
                             displayedText_ = base + firstCompletion;
                         },
                         insertionPauseMs});
        for (const char* c = firstTail; *c != '\0'; ++c) {
            steps.push_back({true, [this, ch = *c] { displayedText_ += ch; }, typingDelayMs});
        }
        steps.push_back({false, [this] { showCheckmark_ = true; }, holdMs});
    } else {
        steps.push_back({false,
                         [this, completed = scenario.completedText] {
                             phase_ = Phase::completed;
                             displayedText_ = completed;
                             showCheckmark_ = true;
                         },
                         holdMs});
    }
    steps.push_back({false, [this] { scenarioIndex_ = (scenarioIndex_ + 1) % scenarios_.size(); }, 0});
    return steps;
}

std::vector<TypewriterAnimation::PopupRow> TypewriterAnimation::filteredRows() const {
    const auto& rows = scenarios_[scenarioIndex_].allRows;
    if (filterText_.empty()) {
        return rows;
    }
    const std::string needle = lowercased(filterText_);
    std::vector<PopupRow> kept;
    for (const PopupRow& row : rows) {
        if (lowercased(row.label).find(needle) != std::string::npos) {
            kept.push_back(row);
        }
    }
    return kept;
}

TypewriterAnimation::HighlightedLabel TypewriterAnimation::highlightedLabel(const std::string& label) const {
    if (filterText_.empty()) {
        return {label, {}, {}};
    }
    const std::string lower = lowercased(label);
    const std::size_t at = lower.find(lowercased(filterText_));
    // Positions found in the lowercased label are cut from the label itself: the labels are ASCII.
    if (at == std::string::npos || lower.size() != label.size()) {
        return {label, {}, {}};
    }
    const std::size_t length = filterText_.size();
    return {label.substr(0, at), label.substr(at, length), label.substr(at + length)};
}

} // namespace korvane
