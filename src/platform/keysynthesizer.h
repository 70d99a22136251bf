#pragma once

#include <cstdint>

namespace korvane {

// Posts key events into the login session as if typed. Every event it posts is Korvane's own:
// the event tap recognises it and never hands it to the key handler. Any thread.
class KeySynthesizer {
public:
    virtual ~KeySynthesizer() = default;

    // Posts a key-down and key-up for `keyCode` with the modifiers of `flags` held around it.
    // Returns false when the key cannot be typed (no such key, no connection).
    virtual bool postKeyPair(std::uint16_t keyCode, std::uint64_t flags) = 0;
};

} // namespace korvane
