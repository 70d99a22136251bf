#pragma once

#include "base/clock.h"
#include "base/graphemescanner.h"
#include "input/keywithholding.h"
#include "input/querybuffer.h"
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

enum class NavigationDirection { up, down };
enum class HorizontalDirection { left, right };

// Turns the key-downs seen by the event tap into completion-session events (trigger, query, popup
// keys) and decides for each key whether it is withheld from the focused application. Runs on the
// event-tap thread under its lock; callbacks fire after unlocking, in order, so they may call back in.
class TriggerDetector final : public KeyWithholding {
public:
    enum class State { idle, collecting, paused };

    static constexpr std::size_t maxQueryLength = QueryBuffer::capacity;

    explicit TriggerDetector(const Clock& clock = SystemClock::shared());
    ~TriggerDetector() override;
    TriggerDetector(const TriggerDetector&) = delete;
    TriggerDetector& operator=(const TriggerDetector&) = delete;

    // Installed by the shell before the event tap starts. Invoked on the thread that called in.
    std::function<void()> onTriggerActivated;
    std::function<void(const std::string& query)> onQueryUpdated;
    std::function<void(const std::string& query)> onAccepted;
    std::function<void()> onDismissed;
    std::function<void(NavigationDirection)> onNavigate;
    std::function<void()> onCopyRequested;
    std::function<void()> onOpenRequested;
    std::function<void()> onSaveRequested;
    std::function<void()> onRefreshRequested;
    std::function<void()> onSpacePressed;
    std::function<void(HorizontalDirection)> onHorizontalNavigate;
    std::function<void()> onEscapePressed;
    std::function<void()> onHelpBackRequested;

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
    // Sets onHorizontalNavigate under the lock and tells the key backend when that changes which
    // keys are withheld.
    void setOnHorizontalNavigate(std::function<void(HorizontalDirection)> callback);

    WithheldKeySet withheldKeys() const override;
    void setOnWithheldKeysChanged(std::function<void()> callback) override;
    bool processDeliveredKey(std::uint16_t keyCode, const std::optional<std::string>& characters,
                             std::uint64_t flags) override;

private:
    enum class Callback {
        triggerActivated,
        queryUpdated,
        accepted,
        dismissed,
        navigate,
        copyRequested,
        openRequested,
        saveRequested,
        refreshRequested,
        spacePressed,
        horizontalNavigate,
        escapePressed,
        helpBackRequested,
    };

    struct PendingCallback {
        Callback callback = Callback::dismissed;
        std::string query;
        NavigationDirection navigation = NavigationDirection::down;
        HorizontalDirection horizontal = HorizontalDirection::left;
    };

    // What one locked step leaves to do once the lock is released.
    struct Outcome {
        // No handler appends more than two; the spare room keeps appending bounds-safe.
        std::array<PendingCallback, 4> pending;
        std::size_t pendingCount = 0;
        std::function<void()> withheldKeysChanged;
    };

    // How the collecting state answers a key, decided before anything changes.
    enum class Action {
        accept,
        dismissRestoringProgress,
        dismiss,
        removeCharacter,
        escape,
        navigateDown,
        navigateUp,
        space,
        horizontalLeft,
        horizontalRight,
        copy,
        open,
        save,
        refresh,
        ignore,
        append,
    };

    struct Decision {
        Action action;
        bool swallow;
    };

    bool handleKey(std::uint16_t keyCode, const std::optional<std::string>& characters, std::uint64_t flags,
                   bool delivered);
    bool handleIdle(std::uint16_t keyCode, const std::optional<std::string>& characters, Outcome& outcome);
    bool handleCollecting(std::uint16_t keyCode, const std::optional<std::string>& characters,
                          std::uint64_t flags, bool delivered, Outcome& outcome);
    void handlePaused(std::uint16_t keyCode, const std::optional<std::string>& characters,
                      std::uint64_t flags, Outcome& outcome);
    Decision decideCollecting(std::uint16_t keyCode, const std::optional<std::string>& characters,
                              std::uint64_t flags) const;

    static void append(Outcome& outcome, Callback callback);
    static void push(Outcome& outcome, PendingCallback pending);
    void appendQueryUpdate(Outcome& outcome) const;
    void activate(Outcome& outcome);
    void dismiss(Outcome& outcome);
    void dismissRestoringProgress(Outcome& outcome);
    void resetLocked();
    std::size_t triggerLength() const { return triggerCharacters_.size(); }

    // Takes note, under the lock, of whether the withheld set changed since it was last announced.
    void noteWithheldKeys(Outcome& outcome);
    unsigned withheldSignature() const;
    // Invokes what the outcome collected; returns the number of session callbacks invoked.
    std::size_t deliver(Outcome& outcome);

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
    std::function<void()> onWithheldKeysChanged_;
    unsigned announcedSignature_ = 0;
    GraphemeScanner scanner_;
};

std::string_view toString(TriggerDetector::State state);

} // namespace korvane
