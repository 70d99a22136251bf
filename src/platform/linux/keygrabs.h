#pragma once

#include "platform/keyclaim.h"

#include <cstdint>
#include <set>
#include <utility>
#include <xcb/xcb.h>

namespace korvane::x11 {

class XkbKeyboard;

// The synchronous passive key grabs on the root window that let the tap withhold claimed keys.
// Each key is grabbed with every lock-key combination (Caps Lock, Num Lock) rather than with
// AnyModifier, which fails as a whole when the window manager holds one of the combinations.
// Tap thread only.
class KeyGrabs {
public:
    KeyGrabs(xcb_connection_t* connection, xcb_window_t root)
        : connection_(connection)
        , root_(root) {}

    // Grabs what `claims` need and releases the rest. Combinations another client holds are skipped.
    void apply(const KeyClaimSet& claims, const XkbKeyboard& keyboard);
    void releaseAll();

    // Whether a press of `keycode` with these core modifiers activates one of our grabs.
    bool covers(std::uint8_t keycode, std::uint32_t coreModifiers) const;
    std::size_t size() const { return grabs_.size(); }

private:
    using Grab = std::pair<std::uint8_t, std::uint16_t>;

    std::set<Grab> wanted(const KeyClaimSet& claims, const XkbKeyboard& keyboard) const;

    xcb_connection_t* connection_;
    xcb_window_t root_;
    std::set<Grab> grabs_;
};

} // namespace korvane::x11
