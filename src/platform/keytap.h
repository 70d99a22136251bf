#pragma once

#include "platform/keyclaim.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvane {

// One event seen by a key tap, already translated into the core's key codes and flag masks.
struct TapEvent {
    enum class Type {
        keyDown,
        flagsChanged,
        mouseDown,
        tapDisabledByTimeout,
        tapDisabledByUserInput,
        // The tap lost its connection to the display and reconnects by itself; reported once per loss.
        connectionLost,
        // The tap is connected again; keys typed in between were not seen.
        connectionRestored,
    };

    Type type = Type::keyDown;
    std::uint16_t keyCode = 0;
    std::optional<std::string> characters;
    std::uint64_t flags = 0;
    // Posted by Korvane itself (the text injector); such keys are never handled.
    bool marked = false;
    // False when the key has already reached the focused application and can no longer be dropped.
    bool withholdable = true;
};

// A live system-wide keyboard and mouse tap that runs on a thread of its own. Every member may be
// called from any thread.
class KeyTap {
public:
    // Returns true to drop the event (only honoured for withholdable key-downs).
    using EventCallback = std::function<bool(const TapEvent&)>;

    virtual ~KeyTap() = default;

    // Starts delivering events to `callback` on the tap's thread. A tap starts at most once; after
    // stop() it stays stopped.
    virtual void start(EventCallback callback) = 0;

    // Stops delivering and ends the tap's thread. It returns once no callback runs any more, except
    // when called from inside a callback: the thread then ends as soon as that callback returns.
    virtual void stop() = 0;

    // A disabled tap lets every event pass without calling back.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
    // False while the tap has lost the display and is reconnecting.
    virtual bool isConnected() const = 0;

    // The keys to claim from now on; an empty set releases every claim.
    virtual void setClaimedKeys(KeyClaimSet claims) = 0;
};

} // namespace korvane
