#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// An expansion made ready to insert: control characters taken out (ControlCharacters), the caret
// marker "$0" (its first occurrence) taken out, and the text that followed it, which the caret is
// moved back over afterwards. Plain value.
struct InjectionText {
    static constexpr std::string_view caretMarker = "$0";

    std::string text;
    std::string trailingText;
    // How many control characters the expansion held.
    std::size_t removedControls = 0;

    bool operator==(const InjectionText&) const = default;

    static InjectionText fromExpansion(std::string_view expansion);

    // `text` cut into pieces of at most `chunkSize` UTF-16 code units, never inside a surrogate
    // pair (a pair that would not fit a chunk of one unit goes whole); no pieces for a size below 1.
    static std::vector<std::string> typingChunks(std::string_view text, int chunkSize);

    // The number of Unicode code points of UTF-8 `text`.
    static std::size_t codePointCount(std::string_view text);
};

} // namespace korvane
