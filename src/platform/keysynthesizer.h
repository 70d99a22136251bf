#pragma once

#include <cstdint>
#include <string_view>

namespace korvane {

// Posts key events into the login session as if typed. Every event it posts is Korvane's own:
// the event tap recognises it and never hands it to the key handler. Any thread.
class KeySynthesizer {
public:
    virtual ~KeySynthesizer() = default;

    // Starts a run of posted input: false when nothing can be posted (no connection, no way to
    // synthesize keys). Modifier keys the user still holds are waited for a moment and, if still
    // down, released until endInput(), so that they do not combine with the posted keys.
    virtual bool beginInput() = 0;
    // Ends the run: puts back the modifiers released for it and any keyboard change made to type.
    virtual void endInput() = 0;

    // Posts a key-down and key-up for `keyCode` with the modifiers of `flags` held around it.
    // Returns false when the key cannot be typed (no such key, no connection).
    virtual bool postKeyPair(std::uint16_t keyCode, std::uint64_t flags) = 0;

    // Types `text` (UTF-8) as key events, whatever the keyboard layout. False when a character
    // could not be typed or the connection failed; what was typed before stays typed.
    virtual bool postText(std::string_view text) = 0;
};

} // namespace korvane
