#pragma once

#include <string_view>

namespace korvane {

// True when `text` is well-formed UTF-8 (no cut sequences, overlong forms or surrogates).
bool isValidUtf8(std::string_view text);

// True when the two UTF-8 texts are canonically equivalent (equal after NFC normalisation), so a
// precomposed "é" equals "e" followed by a combining acute accent. Ill-formed bytes compare as U+FFFD.
bool canonicallyEqual(std::string_view a, std::string_view b);

} // namespace korvane
