#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

namespace korvane::x11 {

// A key as the core sees it.
struct TranslatedKey {
    std::uint16_t keyCode = 0;
    std::optional<std::string> characters;
    std::uint64_t flags = 0;
    bool isModifier = false;
};

// The server's keyboard as xkbcommon knows it: keymap, current modifier state and repeat
// controls, kept current from XKB events. Lives on the tap thread.
class XkbKeyboard {
public:
    // Null when the server has no usable XKB. With `follow`, XKB events are selected on the
    // connection and must be fed to handleEvent(), and keys held under a grab of the connection
    // repeat without releases in between; without, the keyboard is a snapshot.
    static std::unique_ptr<XkbKeyboard> create(xcb_connection_t* connection, bool follow = true);
    ~XkbKeyboard();
    XkbKeyboard(const XkbKeyboard&) = delete;
    XkbKeyboard& operator=(const XkbKeyboard&) = delete;

    // Feeds an event of the XKB extension; returns false for any other event.
    bool handleEvent(const xcb_generic_event_t* event);

    TranslatedKey translate(xkb_keycode_t keycode) const;

    // Effective core modifier bits (Shift, Lock, Control, Mod1..Mod5).
    std::uint32_t coreModifiers() const;

    // X key codes whose unshifted symbol has the core code `keyCode`, or types `character`.
    std::vector<xkb_keycode_t> keycodesForVirtualKey(std::uint16_t keyCode) const;
    std::vector<xkb_keycode_t> keycodesForCharacter(const std::string& character) const;
    std::optional<xkb_keycode_t> keycodeForKeysym(xkb_keysym_t keysym) const;

    // Rises whenever the keymap is reloaded; key codes found earlier may be stale.
    std::uint64_t keymapGeneration() const { return keymapGeneration_; }

    bool keyRepeats(xkb_keycode_t keycode) const;
    bool repeatEnabled() const { return repeatEnabled_; }
    std::uint32_t repeatDelayMs() const { return repeatDelayMs_; }
    std::uint32_t repeatIntervalMs() const { return repeatIntervalMs_; }

private:
    explicit XkbKeyboard(xcb_connection_t* connection);
    bool load();
    void readControls();
    xkb_keysym_t unshiftedKeysym(xkb_keycode_t keycode) const;

    xcb_connection_t* connection_;
    std::uint8_t firstEvent_ = 0;
    std::int32_t deviceId_ = -1;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* state_ = nullptr;
    bool repeatEnabled_ = true;
    std::uint32_t repeatDelayMs_ = 660;
    std::uint32_t repeatIntervalMs_ = 40;
    std::uint64_t keymapGeneration_ = 0;
};

} // namespace korvane::x11
