#pragma once

#include "platform/screengeometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// A span of an accessible text, counted in Unicode code points (scalar values) from its start: the
// unit of the desktop's accessibility interface.
struct TextSpan {
    std::size_t location = 0;
    std::size_t length = 0;

    bool operator==(const TextSpan&) const = default;
};

// What became of an edit of an accessible text.
enum class TextEditResult {
    done,
    // Refused before anything changed: the text is as it was.
    refused,
    // Failed part way: the text may have changed, nobody knows how.
    failed,
};

// The focused text element of some application, as the accessibility interface shows it. Main
// thread; each call asks the application afresh and fails (absent, false) when it does not answer.
class AccessibleTextElement {
public:
    virtual ~AccessibleTextElement() = default;

    // The process that owns the element, when the interface tells.
    virtual std::optional<std::int32_t> processID() = 0;

    // The selection, or the caret as an empty span when nothing is selected.
    virtual std::optional<TextSpan> selectedRange() = 0;
    virtual bool setSelectedRange(TextSpan span) = 0;

    // The text of `span` (cut at the end of the text).
    virtual std::optional<std::string> text(TextSpan span) = 0;

    // Replaces the selection (or inserts at the caret) with `text`, leaving the caret after it.
    virtual TextEditResult setSelectedText(const std::string& text) = 0;

    // The caret's rectangle on the desktop, in root-window coordinates (top left, y downwards);
    // nothing when the element does not tell within a short time, or tells an empty zero rectangle.
    virtual std::optional<ScreenRect> caretBounds() { return std::nullopt; }
};

// Finds the text element that has the keyboard focus. Main thread.
class AccessibleText {
public:
    virtual ~AccessibleText() = default;

    // The focused element when it offers text, otherwise nothing.
    virtual std::unique_ptr<AccessibleTextElement> focusedElement() = 0;
};

} // namespace korvane
