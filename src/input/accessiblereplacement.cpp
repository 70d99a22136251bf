#include "input/accessiblereplacement.h"

#include "base/graphemescanner.h"
#include "input/injectiontext.h"

#include <algorithm>
#include <vector>

namespace korvane {
namespace {

struct Selection {
    std::unique_ptr<AccessibleTextElement> element;
    TextSpan original;
};

// Steps 1 and 2 of both edits: find the element and select the typed characters.
std::optional<Selection> selectTyped(AccessibleText& accessibleText, std::optional<std::int32_t> targetPID,
                                     std::size_t count) {
    std::unique_ptr<AccessibleTextElement> element = accessibleText.focusedElement();
    if (!element) {
        return std::nullopt;
    }
    if (targetPID) {
        const std::optional<std::int32_t> owner = element->processID();
        if (owner && *owner != *targetPID) {
            return std::nullopt;
        }
    }
    const std::optional<TextSpan> original = element->selectedRange();
    if (!original) {
        return std::nullopt;
    }
    const std::optional<std::size_t> back = AccessibleReplacement::codePointsBefore(*element, original->location, count);
    if (!back) {
        return std::nullopt;
    }
    const TextSpan widened{original->location - *back, original->length + *back};
    if (!element->setSelectedRange(widened)) {
        return std::nullopt;
    }
    return Selection{std::move(element), *original};
}

// After a refused edit the selection must not stay widened: key events that follow would delete it
// together with text before it.
AccessibleReplacement::Outcome undoSelection(Selection& selection, TextEditResult result) {
    if (result == TextEditResult::refused && selection.element->setSelectedRange(selection.original)) {
        return AccessibleReplacement::Outcome::unchanged;
    }
    return AccessibleReplacement::Outcome::damaged;
}

} // namespace

AccessibleReplacement::Outcome AccessibleReplacement::replace(AccessibleText& accessibleText,
                                                              std::optional<std::int32_t> targetPID,
                                                              std::size_t deletionCount, const std::string& text,
                                                              const std::string& trailingText) {
    std::optional<Selection> selection = selectTyped(accessibleText, targetPID, deletionCount);
    if (!selection) {
        return Outcome::unchanged;
    }
    const TextEditResult result = selection->element->setSelectedText(text);
    if (result != TextEditResult::done) {
        return undoSelection(*selection, result);
    }
    const std::size_t trailing = InjectionText::codePointCount(trailingText);
    if (trailing > 0) {
        // Placing the caret is a nicety: the text is in, so a failure here changes nothing.
        if (const std::optional<TextSpan> after = selection->element->selectedRange()) {
            selection->element->setSelectedRange({after->location - std::min(trailing, after->location), 0});
        }
    }
    return Outcome::done;
}

AccessibleReplacement::Outcome AccessibleReplacement::deleteBackward(AccessibleText& accessibleText,
                                                                     std::optional<std::int32_t> targetPID,
                                                                     std::size_t count) {
    std::optional<Selection> selection = selectTyped(accessibleText, targetPID, count);
    if (!selection) {
        return Outcome::unchanged;
    }
    const TextEditResult result = selection->element->setSelectedText({});
    return result == TextEditResult::done ? Outcome::done : undoSelection(*selection, result);
}

std::optional<std::size_t> AccessibleReplacement::codePointsBefore(AccessibleTextElement& element,
                                                                   std::size_t offset, std::size_t count) {
    if (count == 0 || offset == 0) {
        return 0;
    }
    GraphemeScanner scanner;
    // Most characters are one or two code points; read more only for long clusters.
    std::size_t window = count * 4 + 8;
    for (;;) {
        const std::size_t start = offset > window ? offset - window : 0;
        const std::optional<std::string> before = element.text({start, offset - start});
        if (!before) {
            return std::nullopt;
        }
        std::vector<std::size_t> ends;
        scanner.start(*before);
        for (std::size_t end = scanner.next(); end != GraphemeScanner::npos; end = scanner.next()) {
            ends.push_back(end);
        }
        // A window that does not reach the start of the text may cut its first cluster.
        const std::size_t usable = start == 0 ? ends.size() : (ends.empty() ? 0 : ends.size() - 1);
        if (usable >= count || start == 0) {
            const std::size_t taken = std::min(count, usable);
            const std::size_t firstByte = taken == ends.size() ? 0 : ends[ends.size() - taken - 1];
            return InjectionText::codePointCount(std::string_view(*before).substr(firstByte));
        }
        window *= 4;
    }
}

} // namespace korvane
