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

TriggerDetector::TriggerDetector(const Clock& clock)
    : clock_(clock) {
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

bool TriggerDetector::handleKey(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                std::uint64_t flags, bool delivered) {
    const auto start = clock_.monotonicNow();
    Outcome outcome;
    State entryState = State::idle;
    bool swallow = false;
    {
        std::lock_guard guard(lock_);
        entryState = state_;
        switch (state_) {
        case State::idle:
            swallow = handleIdle(keyCode, characters, outcome);
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
                                 Outcome& outcome) {
    if (keyCode == keycode::backspace) {
        if (triggerProgress_ > 0) {
            --triggerProgress_;
        }
        return false;
    }
    if (!characters || characters->empty()) {
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
    switch (keyCode) {
    case keycode::returnKey:
    case keycode::tab:
        return {Action::accept, true};
    case keycode::backspace:
        // A modified Backspace deletes a word or a line in the application, more than the query knows of.
        if ((flags & kWordDeleteModifiers) != 0) {
            return {Action::dismiss, false};
        }
        return query_.isEmpty() ? Decision{Action::dismissRestoringProgress, false}
                                : Decision{Action::removeCharacter, false};
    case keycode::escape:
        return {Action::escape, true};
    case keycode::downArrow:
        return {Action::navigateDown, true};
    case keycode::upArrow:
        return {Action::navigateUp, true};
    case keycode::space:
        return query_.isEmpty() ? Decision{Action::dismiss, false} : Decision{Action::space, true};
    case keycode::home:
    case keycode::end:
        return {Action::dismiss, false};
    case keycode::leftArrow:
    case keycode::rightArrow:
        if (!onHorizontalNavigate) {
            return {Action::dismiss, false};
        }
        return {keyCode == keycode::leftArrow ? Action::horizontalLeft : Action::horizontalRight,
                suppressHorizontalKeys_};
    default:
        break;
    }
    if ((flags & keyflag::command) != 0) {
        switch (singleLowercaseLetter(characters)) {
        case 'c':
            return {Action::copy, true};
        case 'o':
            return {Action::open, true};
        case 's':
            return {Action::save, true};
        case 'r':
            return {Action::refresh, true};
        default:
            return {Action::dismiss, false};
        }
    }
    if (!characters || characters->empty()) {
        return {Action::ignore, false};
    }
    return {Action::append, false};
}

bool TriggerDetector::handleCollecting(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                       std::uint64_t flags, bool delivered, Outcome& outcome) {
    const Decision decision = decideCollecting(keyCode, characters, flags);
    // The application already has a key the popup would have taken, so the session cannot go on.
    if (delivered && decision.swallow) {
        dismiss(outcome);
        return false;
    }
    switch (decision.action) {
    case Action::accept:
        if (onAccepted) {
            push(outcome, {Callback::accepted, query_.text()});
        }
        resetLocked();
        break;
    case Action::dismissRestoringProgress:
        dismissRestoringProgress(outcome);
        break;
    case Action::dismiss:
        dismiss(outcome);
        break;
    case Action::removeCharacter: {
        const bool wasHelp = query_.isExactly("?");
        query_.removeLast();
        typedCharacters_ = query_.characterCount();
        if (wasHelp && onHelpBackRequested) {
            append(outcome, Callback::helpBackRequested);
        } else {
            appendQueryUpdate(outcome);
        }
        break;
    }
    case Action::escape:
        if (onEscapePressed) {
            append(outcome, Callback::escapePressed);
        } else {
            dismiss(outcome);
        }
        break;
    case Action::navigateDown:
    case Action::navigateUp: {
        PendingCallback pending{Callback::navigate};
        pending.navigation =
            decision.action == Action::navigateUp ? NavigationDirection::up : NavigationDirection::down;
        push(outcome, std::move(pending));
        break;
    }
    case Action::space:
        append(outcome, Callback::spacePressed);
        break;
    case Action::horizontalLeft:
    case Action::horizontalRight: {
        PendingCallback pending{Callback::horizontalNavigate};
        pending.horizontal = decision.action == Action::horizontalLeft ? HorizontalDirection::left
                                                                       : HorizontalDirection::right;
        push(outcome, std::move(pending));
        break;
    }
    case Action::copy:
        append(outcome, Callback::copyRequested);
        break;
    case Action::open:
        append(outcome, Callback::openRequested);
        break;
    case Action::save:
        append(outcome, Callback::saveRequested);
        break;
    case Action::refresh:
        append(outcome, Callback::refreshRequested);
        break;
    case Action::ignore:
        break;
    case Action::append:
        query_.append(*characters);
        typedCharacters_ = query_.characterCount();
        appendQueryUpdate(outcome);
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
    const bool commandOrControl = (flags & (keyflag::command | keyflag::control)) != 0;
    if (commandOrControl || isPausedDismissKey(keyCode) || !characters || characters->empty()) {
        dismiss(outcome);
        return;
    }
    state_ = State::collecting;
    query_.append(*characters);
    typedCharacters_ = query_.characterCount();
    appendQueryUpdate(outcome);
}

void TriggerDetector::append(Outcome& outcome, Callback callback) {
    // Whether the callback is set is checked when it is invoked.
    push(outcome, {callback});
}

void TriggerDetector::appendQueryUpdate(Outcome& outcome) const {
    if (onQueryUpdated) {
        push(outcome, {Callback::queryUpdated, query_.text()});
    }
}

void TriggerDetector::push(Outcome& outcome, PendingCallback pending) {
    if (outcome.pendingCount < outcome.pending.size()) {
        outcome.pending[outcome.pendingCount++] = std::move(pending);
    }
}

void TriggerDetector::activate(Outcome& outcome) {
    state_ = State::collecting;
    query_.clear();
    typedCharacters_ = 0;
    triggerProgress_ = 0;
    append(outcome, Callback::triggerActivated);
    appendQueryUpdate(outcome);
}

void TriggerDetector::dismiss(Outcome& outcome) {
    append(outcome, Callback::dismissed);
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

void TriggerDetector::setOnHorizontalNavigate(std::function<void(HorizontalDirection)> callback) {
    Outcome outcome;
    {
        std::lock_guard guard(lock_);
        onHorizontalNavigate = std::move(callback);
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
    if (suppressHorizontalKeys_ && onHorizontalNavigate) {
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
    std::size_t invoked = 0;
    for (std::size_t i = 0; i < outcome.pendingCount; ++i) {
        const PendingCallback& pending = outcome.pending[i];
        const auto call = [&invoked](const auto& callback, const auto&... arguments) {
            if (callback) {
                callback(arguments...);
                ++invoked;
            }
        };
        switch (pending.callback) {
        case Callback::triggerActivated:
            call(onTriggerActivated);
            break;
        case Callback::queryUpdated:
            call(onQueryUpdated, pending.query);
            break;
        case Callback::accepted:
            call(onAccepted, pending.query);
            break;
        case Callback::dismissed:
            call(onDismissed);
            break;
        case Callback::navigate:
            call(onNavigate, pending.navigation);
            break;
        case Callback::copyRequested:
            call(onCopyRequested);
            break;
        case Callback::openRequested:
            call(onOpenRequested);
            break;
        case Callback::saveRequested:
            call(onSaveRequested);
            break;
        case Callback::refreshRequested:
            call(onRefreshRequested);
            break;
        case Callback::spacePressed:
            call(onSpacePressed);
            break;
        case Callback::horizontalNavigate:
            call(onHorizontalNavigate, pending.horizontal);
            break;
        case Callback::escapePressed:
            call(onEscapePressed);
            break;
        case Callback::helpBackRequested:
            call(onHelpBackRequested);
            break;
        }
    }
    return invoked;
}

} // namespace korvane
