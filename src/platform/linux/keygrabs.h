#pragma once

#include "platform/keyclaim.h"

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>
#include <xcb/xcb.h>

namespace korvane::x11 {

class XkbKeyboard;

// The synchronous passive key grabs on the root window that let the tap withhold claimed keys.
// Each key is grabbed with every lock-key combination (Caps Lock, Num Lock) rather than with
// AnyModifier, which fails as a whole when the window manager holds one of the combinations.
// Every grab remembers the request that made it and the one that ended it, so that a key can be
// judged by what the server had done when it processed the key, not by what is grabbed now.
// Tap thread only.
class KeyGrabs {
public:
    KeyGrabs(xcb_connection_t* connection, xcb_window_t root)
        : connection_(connection)
        , root_(root) {}

    // Grabs what `claims` need, and the keys `extraKeycodes` with any modifiers, and releases the
    // rest. Combinations another client holds are skipped.
    void apply(const KeyClaimSet& claims, const std::set<std::uint8_t>& extraKeycodes,
               const XkbKeyboard& keyboard);
    void releaseAll();
    // Forgets the grabs without a request: someone else released them.
    void forget();
    // Takes note that every grab was released by request `sequence`, sent by another thread.
    void endAll(std::uint32_t sequence);

    // Whether a press of `keycode` with these core modifiers activates one of our grabs now.
    bool covers(std::uint8_t keycode, std::uint32_t coreModifiers) const;
    // Whether it did for an event the server sent after processing request `sequence` (an event's
    // full sequence number). Events must be asked about in the order they arrived.
    bool coveredAt(std::uint8_t keycode, std::uint32_t coreModifiers, std::uint32_t sequence);
    std::size_t size() const { return grabs_.size(); }

private:
    using Grab = std::pair<std::uint8_t, std::uint16_t>;
    struct Ended {
        Grab grab;
        std::uint32_t since;
        std::uint32_t until;
    };

    std::set<Grab> wanted(const KeyClaimSet& claims, const std::set<std::uint8_t>& extraKeycodes,
                          const XkbKeyboard& keyboard) const;

    xcb_connection_t* connection_;
    xcb_window_t root_;
    // Each grab in force, with the sequence number of the request that made it.
    std::map<Grab, std::uint32_t> grabs_;
    // Grabs released while events from their time may still be queued.
    std::vector<Ended> ended_;
};

} // namespace korvane::x11
