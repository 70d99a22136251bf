#pragma once

#include "base/clock.h"
#include "base/graphemescanner.h"
#include "input/keywithholding.h"
#include "input/querybuffer.h"
#include "input/sessionevent.h"
#include "platform/keycodes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Turns the key-downs seen by the event tap into completion-session events (trigger, query, popup
// keys) and decides for each key whether it is withheld from the focused application. Runs on the
// event-tap thread under its lock; events go to its one handler after unlocking, in order, so the
// handler may call back in.
class TriggerDetector final : public KeyWithholding {
public:
    enum class State { idle, collecting, paused };
    using EventHandler = std::function<void(const SessionEvent&)>;

    static constexpr std::size_t maxQueryLength = QueryBuffer::capacity;
    // What a detector with a handler takes at first: all but horizontal navigation.
    static constexpr SessionEventSet defaultHandledEvents =
        allSessionEvents & ~sessionEventBit<sessionevent::HorizontalNavigate>();

    // `handler` is fixed for the detector's life and invoked on the thread that called in.
    explicit TriggerDetector(EventHandler handler = nullptr, const Clock& clock = SystemClock::shared());
    ~TriggerDetector() override;
    TriggerDetector(const TriggerDetector&) = delete;
    TriggerDetector& operator=(const TriggerDetector&) = delete;

    // Handles one key-down that did not come from Korvane itself. `characters` is what the key types
    // without Command or Control (Command-C gives "c"). Returns true when the key is to be withheld.
    bool processKey(std::uint16_t keyCode, const std::optional<std::string>& characters, std::uint64_t flags);

    void reset();
    // Back to idle with the whole trigger counted as typed, for a trigger still standing in the document.
    void resetArmed();
    void pause();
    // Forgets a partly typed trigger (the caret may have moved); an armed trigger stays.
    void clearPartialTrigger();

    // The query while a session is open; absent when idle or when the bytes are not valid UTF-8.
    std::optional<std::string> currentQuery() const;
    State state() const;
    std::size_t triggerProgress() const;

    // The characters typed after the trigger in the open session or, once it has ended, in the most
    // recent one; a new activation starts it at 0. Unlike the query it has no capacity, so it is the
    // number of characters to delete besides the trigger when a completion is inserted.
    std::size_t typedCharacterCount() const;

    std::string trigger() const;
    void setTrigger(std::string trigger);
    bool suppressHorizontalKeys() const;
    void setSuppressHorizontalKeys(bool suppress);

    // The kinds of event the handler takes; others are not reported. Escape keeps a session open,
    // and Backspace on the query "?" asks for help, only while the handler takes those events.
    SessionEventSet handledEvents() const;
    void setHandledEvents(SessionEventSet events);
    // Whether Left and Right navigate the popup (the handler takes HorizontalNavigate) rather than
    // dismiss the session.
    bool horizontalNavigation() const;
    void setHorizontalNavigation(bool enabled);

    WithheldKeySet withheldKeys() const override;
    void setOnWithheldKeysChanged(std::function<void()> callback) override;
    bool processDeliveredKey(std::uint16_t keyCode, const std::optional<std::string>& characters,
                             std::uint64_t flags) override;

private:
    // What one locked step leaves to do once the lock is released.
    struct Outcome {
        // No step reports more than two events; the spare room keeps appending bounds-safe.
        std::array<SessionEvent, 4> events;
        std::size_t eventCount = 0;
        std::function<void()> withheldKeysChanged;
    };

    // How the collecting state answers a key, decided before anything changes.
    enum class Step { report, accept, dismiss, dismissRestoringProgress, removeCharacter, append, ignore };

    struct Decision {
        Step step;
        bool swallow;
        // What `report` reports.
        SessionEvent event{};
    };

    bool handleKey(std::uint16_t keyCode, const std::optional<std::string>& characters, std::uint64_t flags,
                   bool delivered);
    bool handleIdle(std::uint16_t keyCode, const std::optional<std::string>& characters, std::uint64_t flags,
                    Outcome& outcome);
    bool handleCollecting(std::uint16_t keyCode, const std::optional<std::string>& characters,
                          std::uint64_t flags, bool delivered, Outcome& outcome);
    void handlePaused(std::uint16_t keyCode, const std::optional<std::string>& characters,
                      std::uint64_t flags, Outcome& outcome);
    Decision decideCollecting(std::uint16_t keyCode, const std::optional<std::string>& characters,
                              std::uint64_t flags) const;

    template <typename Event> bool handles() const { return (handled_ & sessionEventBit<Event>()) != 0; }
    // Adds the event to the outcome when the handler takes its kind.
    void report(Outcome& outcome, SessionEvent event) const;
    void reportQuery(Outcome& outcome) const;
    void activate(Outcome& outcome);
    void dismiss(Outcome& outcome);
    void dismissRestoringProgress(Outcome& outcome);
    void resetLocked();
    std::size_t triggerLength() const { return triggerCharacters_.size(); }

    // Takes note, under the lock, of whether the withheld set changed since it was last announced.
    void noteWithheldKeys(Outcome& outcome);
    unsigned withheldSignature() const;
    // Hands on what the outcome collected; returns the number of events reported.
    std::size_t deliver(Outcome& outcome);

    const EventHandler handler_;
    const Clock& clock_;
    mutable std::mutex lock_;
    std::string trigger_ = ";;";
    std::vector<std::string> triggerCharacters_;
    State state_ = State::idle;
    QueryBuffer query_;
    // Survives the reset that ends a session, so the shell can still read it after an acceptance.
    std::size_t typedCharacters_ = 0;
    std::size_t triggerProgress_ = 0;
    bool suppressHorizontalKeys_ = false;
    SessionEventSet handled_ = 0;
    std::function<void()> onWithheldKeysChanged_;
    unsigned announcedSignature_ = 0;
    GraphemeScanner scanner_;
};

std::string_view toString(TriggerDetector::State state);

} // namespace korvane
