#pragma once

#include "platform/keyclaim.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace korvane {

// One key that the trigger detector would withhold from the focused application in its current
// state: exactly what the event tap then asks its backend to claim (Command-C is {0, "c", command}).
using WithheldKey = KeyClaim;
using WithheldKeySet = KeyClaimSet;

// What a keyboard backend that must claim keys before they are typed (X11 passive grabs) needs
// from the trigger detector. The detector implements it; the event tap uses it.
class KeyWithholding {
public:
    virtual ~KeyWithholding() = default;

    // The keys the detector would withhold right now (empty unless a session is collecting).
    // Read under the detector's lock; any thread.
    virtual WithheldKeySet withheldKeys() const = 0;

    // Called, after the detector's lock is released and on the thread that caused it, whenever
    // the set returned by withheldKeys() may have changed.
    virtual void setOnWithheldKeysChanged(std::function<void()> callback) = 0;

    // Handles a key that has already reached the application (it could not be withheld).
    // A key the detector would have withheld counts as a key that passes and dismisses the session;
    // it never accepts or navigates. Any other key is handled as by processKey. Returns false.
    virtual bool processDeliveredKey(std::uint16_t keyCode, const std::optional<std::string>& characters,
                                     std::uint64_t flags) = 0;
};

} // namespace korvane
