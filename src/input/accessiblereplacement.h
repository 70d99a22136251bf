#pragma once

#include "platform/accessibletext.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// Replaces or deletes what the user typed just before the caret of the focused text element
// through the accessibility interface. Counts given in characters (grapheme clusters) are turned
// into the interface's code points by reading the text before the caret, and the selection is
// never widened past the caret or the start of the text. Main thread.
class AccessibleReplacement {
public:
    enum class Outcome {
        done,
        // Nothing was changed (or the change was undone): key events may do the work instead.
        unchanged,
        // The element was left in an unknown state: nothing else may touch it.
        damaged,
    };

    // Selects the `deletionCount` characters before the caret (with any selection), sets `text`
    // in their place and moves the caret back over `trailingText`, which ends `text`. The element
    // must belong to `targetPID` when both are known.
    static Outcome replace(AccessibleText& accessibleText, std::optional<std::int32_t> targetPID,
                           std::size_t deletionCount, const std::string& text, const std::string& trailingText);

    // Deletes the `count` characters before the caret.
    static Outcome deleteBackward(AccessibleText& accessibleText, std::optional<std::int32_t> targetPID,
                                  std::size_t count);

    // The code points taken by the last `count` characters before `offset`, or by all of them when
    // fewer stand there; absent when the text cannot be read.
    static std::optional<std::size_t> codePointsBefore(AccessibleTextElement& element, std::size_t offset,
                                                       std::size_t count);
};

} // namespace korvane
