#pragma once

#include "platform/accessibletext.h"

#include <string>
#include <string_view>

namespace korvane {

// A single-line editor as the tests imagine the target application: a text with a selection,
// edited the way desktop editors edit. Backspace removes the selection or the whole character
// (grapheme cluster) before the caret, Left collapses the selection or steps one character back.
// Positions are code points, as the accessibility interface counts them. One thread.
class FakeTextField {
public:
    FakeTextField() = default;
    // `before` and `after` the caret.
    FakeTextField(std::string_view before, std::string_view after);

    std::string text() const;
    // The text before and after the caret (or the selection's start and end).
    std::string beforeCaret() const;
    std::string afterCaret() const;

    TextSpan selection() const { return selection_; }
    void select(TextSpan span);

    void type(std::string_view text);
    void backspace();
    void left();

private:
    std::size_t previousBoundary(std::size_t offset) const;

    std::u32string text_;
    TextSpan selection_;
};

} // namespace korvane
