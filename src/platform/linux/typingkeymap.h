#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

namespace korvane::x11 {

// The keyboard as seen for typing text through XTEST: which key (with or without Shift) gives a
// symbol in the active layout and lock state, and spare key codes lent to symbols the layout lacks.
// Every lent key code gets its empty mapping back from restoreSpares(), which the destructor calls
// too. Used by one thread at a time, on the connection it was loaded from.
class TypingKeymap {
public:
    struct Stroke {
        xkb_keycode_t keycode = 0;
        bool shift = false;
    };

    // Null when the server has no usable XKB.
    static std::unique_ptr<TypingKeymap> load(xcb_connection_t* connection);
    ~TypingKeymap();
    TypingKeymap(const TypingKeymap&) = delete;
    TypingKeymap& operator=(const TypingKeymap&) = delete;

    // The key that types `keysym` with no modifier but perhaps Shift, in the current state.
    std::optional<Stroke> strokeFor(xkb_keysym_t keysym);
    // A key whose first symbol is `keysym` (Shift_L, Control_L, ...).
    std::optional<xkb_keycode_t> keycodeWithBaseSymbol(xkb_keysym_t keysym) const;

    // A spare key code mapped to `keysym` (the same code again for a symbol lent before); absent
    // when every spare is lent out. The mapping change reaches clients before later key events.
    std::optional<xkb_keycode_t> lendSpare(xkb_keysym_t keysym);
    bool hasLentSpares() const { return !lent_.empty(); }
    // Gives every lent key code its empty mapping back.
    void restoreSpares();

private:
    explicit TypingKeymap(xcb_connection_t* connection)
        : connection_(connection) {}
    bool readSpares();
    bool produces(xkb_keycode_t keycode, bool shift, xkb_keysym_t keysym);

    xcb_connection_t* connection_;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    xkb_mod_mask_t lockedMods_ = 0;
    xkb_layout_index_t layout_ = 0;
    xkb_mod_mask_t shiftMask_ = 0;
    std::map<xkb_keysym_t, std::optional<Stroke>> strokes_;
    std::vector<xkb_keycode_t> spares_;
    std::map<xkb_keysym_t, xkb_keycode_t> lent_;
};

} // namespace korvane::x11
