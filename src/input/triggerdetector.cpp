#include "input/triggerdetector.h"

#include "base/diagnostics.h"
#include "base/unicode.h"

#include <chrono>
#include <fmt/format.h>

namespace korvane {
namespace {

constexpr double kSlowKeyMilliseconds = 2.0;

constexpr unsigned kCollectingBit = 1;
constexpr unsigned kSpaceBit = 2;
constexpr unsigned kHorizontalBit = 4;

constexpr std::uint64_t kWordDeleteModifiers = keyflag::command | keyflag::control | keyflag::option;

// The single ASCII letter that a key produced, lower-cased; 0 for anything else.
char singleLowercaseLetter(const std::optional<std::string>& characters) {
    if (!characters || characters->size() != 1) {
        return 0;
    }
    return asciiLower((*characters)[0]);
}

bool isPausedDismissKey(std::uint16_t keyCode) {
    switch (keyCode) {
    case keycode::returnKey:
    case keycode::tab:
    case keycode::space:
    case keycode::escape:
    case keycode::home:
    case keycode::end:
    case keycode::pageUp:
    case keycode::pageDown:
    case keycode::forwardDelete:
    case keycode::leftArrow:
    case keycode::rightArrow:
    case keycode::downArrow:
    case keycode::upArrow:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string_view toString(TriggerDetector::State state) {
    switch (state) {
    case TriggerDetector::State::idle:
        return "idle";
    case TriggerDetector::State::collecting:
        return "collecting";
    case TriggerDetector::State::paused:
        return "paused";
    }
    return "idle";
}

TriggerDetector::TriggerDetector(EventHandler handler, const Clock& clock)
    : handler_(std::move(handler))
    , clock_(clock)
    , handled_(handler_ ? defaultHandledEvents : 0) {
    setTrigger(";;");
}

TriggerDetector::~TriggerDetector() = default;

bool TriggerDetector::processKey(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                 std::uint64_t flags) {
    return handleKey(keyCode, characters, flags, false);
}

bool TriggerDetector::processDeliveredKey(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                          std::uint64_t flags) {
    handleKey(keyCode, characters, flags, true);
    return false;
}

bool TriggerDetector::handleKey(std::uint16_t keyCode, const std::optional<std::string>& typed,
                                std::uint64_t flags, bool delivered) {
    const auto start = clock_.monotonicNow();
    // Ill-formed text is no text: its bytes would miscount the characters to delete.
    static const std::optional<std::string> none;
    const std::optional<std::string>& characters = typed && !isValidUtf8(*typed) ? none : typed;
    Outcome outcome;
    State entryState = State::idle;
    bool swallow = false;
    {
        std::lock_guard guard(lock_);
        entryState = state_;
        switch (state_) {
        case State::idle:
            swallow = handleIdle(keyCode, characters, flags, outcome);
            break;
        case State::collecting:
            swallow = handleCollecting(keyCode, characters, flags, delivered, outcome);
            break;
        case State::paused:
            handlePaused(keyCode, characters, flags, outcome);
            break;
        }
        noteWithheldKeys(outcome);
    }
    const std::size_t invoked = deliver(outcome);

    const double elapsed = std::chrono::duration<double, std::milli>(clock_.monotonicNow() - start).count();
    if (elapsed > kSlowKeyMilliseconds) {
        performanceLog(
            "TriggerDetector.Performance",
            fmt::format("[PROCESS_KEY] keyCode={} state={} suppress={} callbacks={} elapsed={:.2f}ms",
                        keyCode, toString(entryState), swallow ? "true" : "false", invoked, elapsed));
    }
    return swallow;
}

bool TriggerDetector::handleIdle(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                 std::uint64_t flags, Outcome& outcome) {
    if (keyCode == keycode::backspace) {
        if (triggerProgress_ > 0) {
            --triggerProgress_;
        }
        return false;
    }
    // A key typed with Alt leaves no text in the document.
    if (!characters || characters->empty() || (flags & keyflag::option) != 0) {
        triggerProgress_ = 0;
        return false;
    }
    // An empty trigger has nothing to match, so it never activates.
    const std::size_t length = triggerLength();
    const std::string& text = *characters;
    scanner_.start(text);
    std::size_t begin = 0;
    for (std::size_t end = scanner_.next(); end != GraphemeScanner::npos;
         begin = end, end = scanner_.next()) {
        const std::string_view character(text.data() + begin, end - begin);
        if (triggerProgress_ < length && canonicallyEqual(character, triggerCharacters_[triggerProgress_])) {
            if (++triggerProgress_ == length) {
                activate(outcome);
                break;
            }
        } else {
            triggerProgress_ = length > 0 && canonicallyEqual(character, triggerCharacters_[0]) ? 1 : 0;
        }
    }
    return false;
}

TriggerDetector::Decision TriggerDetector::decideCollecting(std::uint16_t keyCode,
                                                            const std::optional<std::string>& characters,
                                                            std::uint64_t flags) const {
    using namespace sessionevent;
    switch (keyCode) {
    case keycode::returnKey:
    case keycode::tab:
        return {Step::accept, true};
    case keycode::backspace:
        // A modified Backspace deletes a word or a line in the application, more than the query knows of.
        if ((flags & kWordDeleteModifiers) != 0) {
            return {Step::dismiss, false};
        }
        return {query_.isEmpty() ? Step::dismissRestoringProgress : Step::removeCharacter, false};
    case keycode::escape:
        return handles<EscapePressed>() ? Decision{Step::report, true, EscapePressed{}}
                                        : Decision{Step::dismiss, true};
    case keycode::downArrow:
        return {Step::report, true, Navigate{NavigationDirection::down}};
    case keycode::upArrow:
        return {Step::report, true, Navigate{NavigationDirection::up}};
    case keycode::space:
        return query_.isEmpty() ? Decision{Step::dismiss, false}
                                : Decision{Step::report, true, SpacePressed{}};
    case keycode::home:
    case keycode::end:
    case keycode::pageUp:
    case keycode::pageDown:
    case keycode::forwardDelete:
        // They move the caret or change the text in the application, away from the typed query.
        return {Step::dismiss, false};
    case keycode::leftArrow:
    case keycode::rightArrow:
        if (!handles<HorizontalNavigate>()) {
            return {Step::dismiss, false};
        }
        return {Step::report, suppressHorizontalKeys_,
                HorizontalNavigate{keyCode == keycode::leftArrow ? HorizontalDirection::left
                                                                 : HorizontalDirection::right}};
    default:
        break;
    }
    if ((flags & keyflag::command) != 0) {
        switch (singleLowercaseLetter(characters)) {
        case 'c':
            return {Step::report, true, CopyRequested{}};
        case 'o':
            return {Step::report, true, OpenRequested{}};
        case 's':
            return {Step::report, true, SaveRequested{}};
        case 'r':
            return {Step::report, true, RefreshRequested{}};
        default:
            return {Step::dismiss, false};
        }
    }
    // Alt with a key moves by words or runs a command in the application; it types no text.
    if ((flags & keyflag::option) != 0) {
        return {Step::dismiss, false};
    }
    if (!characters || characters->empty()) {
        return {Step::ignore, false};
    }
    return {Step::append, false};
}

bool TriggerDetector::handleCollecting(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                       std::uint64_t flags, bool delivered, Outcome& outcome) {
    Decision decision = decideCollecting(keyCode, characters, flags);
    // The application already has a key the popup would have taken, so the session cannot go on.
    if (delivered && decision.swallow) {
        dismiss(outcome);
        return false;
    }
    switch (decision.step) {
    case Step::report:
        report(outcome, std::move(decision.event));
        break;
    case Step::accept:
        report(outcome, sessionevent::Accepted{query_.text()});
        resetLocked();
        break;
    case Step::dismiss:
        dismiss(outcome);
        break;
    case Step::dismissRestoringProgress:
        dismissRestoringProgress(outcome);
        break;
    case Step::removeCharacter: {
        const bool wasHelp = query_.isExactly("?");
        query_.removeLast();
        typedCharacters_ = query_.characterCount();
        if (wasHelp && handles<sessionevent::HelpBackRequested>()) {
            report(outcome, sessionevent::HelpBackRequested{});
        } else {
            reportQuery(outcome);
        }
        break;
    }
    case Step::append:
        query_.append(*characters);
        typedCharacters_ = query_.characterCount();
        reportQuery(outcome);
        break;
    case Step::ignore:
        break;
    }
    return decision.swallow;
}

void TriggerDetector::handlePaused(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                   std::uint64_t flags, Outcome& outcome) {
    if (keyCode == keycode::backspace) {
        if ((flags & kWordDeleteModifiers) != 0) {
            dismiss(outcome);
        } else if (query_.isEmpty()) {
            dismissRestoringProgress(outcome);
        } else {
            query_.removeLast();
            typedCharacters_ = query_.characterCount();
        }
        return;
    }
    const bool modified = (flags & (keyflag::command | keyflag::control | keyflag::option)) != 0;
    if (modified || isPausedDismissKey(keyCode) || !characters || characters->empty()) {
        dismiss(outcome);
        return;
    }
    state_ = State::collecting;
    query_.append(*characters);
    typedCharacters_ = query_.characterCount();
    reportQuery(outcome);
}

void TriggerDetector::report(Outcome& outcome, SessionEvent event) const {
    if ((handled_ & sessionEventBit(event)) != 0 && outcome.eventCount < outcome.events.size()) {
        outcome.events[outcome.eventCount++] = std::move(event);
    }
}

void TriggerDetector::reportQuery(Outcome& outcome) const {
    if (handles<sessionevent::QueryUpdated>()) {
        report(outcome, sessionevent::QueryUpdated{query_.text()});
    }
}

void TriggerDetector::activate(Outcome& outcome) {
    state_ = State::collecting;
    query_.clear();
    typedCharacters_ = 0;
    triggerProgress_ = 0;
    report(outcome, sessionevent::TriggerActivated{});
    reportQuery(outcome);
}

void TriggerDetector::dismiss(Outcome& outcome) {
    report(outcome, sessionevent::Dismissed{});
    resetLocked();
}

void TriggerDetector::dismissRestoringProgress(Outcome& outcome) {
    dismiss(outcome);
    // The Backspace reaches the application and removes the trigger's last character only.
    triggerProgress_ = triggerLength() > 0 ? triggerLength() - 1 : 0;
}

void TriggerDetector::resetLocked() {
    query_.clear();
    state_ = State::idle;
    triggerProgress_ = 0;
    suppressHorizontalKeys_ = false;
}

void TriggerDetector::reset() {
    Outcome outcome;
    {
        std::lock_guard guard(lock_);
        resetLocked();
        noteWithheldKeys(outcome);
    }
    deliver(outcome);
}

void TriggerDetector::resetArmed() {
    Outcome outcome;
    {
        std::lock_guard guard(lock_);
        resetLocked();
        triggerProgress_ = triggerLength();
        noteWithheldKeys(outcome);
    }
    deliver(outcome);
}

void TriggerDetector::pause() {
    Outcome outcome;
    {
        std::lock_guard guard(lock_);
        if (state_ == State::collecting) {
            state_ = State::paused;
        }
        noteWithheldKeys(outcome);
    }
    deliver(outcome);
}

void TriggerDetector::clearPartialTrigger() {
    std::lock_guard guard(lock_);
    if (state_ == State::idle && triggerProgress_ < triggerLength()) {
        triggerProgress_ = 0;
    }
}

std::optional<std::string> TriggerDetector::currentQuery() const {
    std::lock_guard guard(lock_);
    const std::string_view bytes = query_.bytes();
    if (state_ == State::idle || !isValidUtf8(bytes)) {
        return std::nullopt;
    }
    return std::string(bytes);
}

TriggerDetector::State TriggerDetector::state() const {
    std::lock_guard guard(lock_);
    return state_;
}

std::size_t TriggerDetector::triggerProgress() const {
    std::lock_guard guard(lock_);
    return triggerProgress_;
}

std::size_t TriggerDetector::typedCharacterCount() const {
    std::lock_guard guard(lock_);
    return typedCharacters_;
}

std::string TriggerDetector::trigger() const {
    std::lock_guard guard(lock_);
    return trigger_;
}

void TriggerDetector::setTrigger(std::string trigger) {
    std::lock_guard guard(lock_);
    if (!triggerCharacters_.empty() && trigger == trigger_) {
        return;
    }
    trigger_ = std::move(trigger);
    triggerCharacters_.clear();
    scanner_.start(trigger_);
    std::size_t begin = 0;
    for (std::size_t end = scanner_.next(); end != GraphemeScanner::npos;
         begin = end, end = scanner_.next()) {
        triggerCharacters_.emplace_back(trigger_, begin, end - begin);
    }
    // Progress counted against the old trigger means nothing for the new one.
    triggerProgress_ = 0;
}

bool TriggerDetector::suppressHorizontalKeys() const {
    std::lock_guard guard(lock_);
    return suppressHorizontalKeys_;
}

void TriggerDetector::setSuppressHorizontalKeys(bool suppress) {
    Outcome outcome;
    {
        std::lock_guard guard(lock_);
        suppressHorizontalKeys_ = suppress;
        noteWithheldKeys(outcome);
    }
    deliver(outcome);
}

SessionEventSet TriggerDetector::handledEvents() const {
    std::lock_guard guard(lock_);
    return handled_;
}

void TriggerDetector::setHandledEvents(SessionEventSet events) {
    Outcome outcome;
    {
        std::lock_guard guard(lock_);
        handled_ = events & allSessionEvents;
        noteWithheldKeys(outcome);
    }
    deliver(outcome);
}

bool TriggerDetector::horizontalNavigation() const {
    std::lock_guard guard(lock_);
    return handles<sessionevent::HorizontalNavigate>();
}

void TriggerDetector::setHorizontalNavigation(bool enabled) {
    constexpr SessionEventSet bit = sessionEventBit<sessionevent::HorizontalNavigate>();
    Outcome outcome;
    {
        std::lock_guard guard(lock_);
        handled_ = enabled ? handled_ | bit : handled_ & ~bit;
        noteWithheldKeys(outcome);
    }
    deliver(outcome);
}

WithheldKeySet TriggerDetector::withheldKeys() const {
    std::lock_guard guard(lock_);
    WithheldKeySet keys;
    const unsigned signature = withheldSignature();
    if ((signature & kCollectingBit) == 0) {
        return keys;
    }
    for (const std::uint16_t code :
         {keycode::returnKey, keycode::tab, keycode::escape, keycode::upArrow, keycode::downArrow}) {
        keys.push_back({code});
    }
    if ((signature & kSpaceBit) != 0) {
        keys.push_back({keycode::space});
    }
    if ((signature & kHorizontalBit) != 0) {
        keys.push_back({keycode::leftArrow});
        keys.push_back({keycode::rightArrow});
    }
    for (const char* letter : {"c", "o", "s", "r"}) {
        keys.push_back({0, letter, keyflag::command});
    }
    return keys;
}

void TriggerDetector::setOnWithheldKeysChanged(std::function<void()> callback) {
    std::lock_guard guard(lock_);
    onWithheldKeysChanged_ = std::move(callback);
}

unsigned TriggerDetector::withheldSignature() const {
    if (state_ != State::collecting) {
        return 0;
    }
    unsigned signature = kCollectingBit;
    if (!query_.isEmpty()) {
        signature |= kSpaceBit;
    }
    if (suppressHorizontalKeys_ && handles<sessionevent::HorizontalNavigate>()) {
        signature |= kHorizontalBit;
    }
    return signature;
}

void TriggerDetector::noteWithheldKeys(Outcome& outcome) {
    const unsigned signature = withheldSignature();
    if (signature == announcedSignature_) {
        return;
    }
    announcedSignature_ = signature;
    outcome.withheldKeysChanged = onWithheldKeysChanged_;
}

std::size_t TriggerDetector::deliver(Outcome& outcome) {
    // The key backend hears first, so it can claim or release keys before the session reacts.
    if (outcome.withheldKeysChanged) {
        outcome.withheldKeysChanged();
    }
    if (!handler_) {
        return 0;
    }
    for (std::size_t i = 0; i < outcome.eventCount; ++i) {
        handler_(outcome.events[i]);
    }
    return outcome.eventCount;
}

} // namespace korvane
