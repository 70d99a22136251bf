#pragma once

#include "config/scoperegistry.h"
#include "popup/views/paintcontext.h"
#include "registry/querychip.h"

#include <optional>
#include <string>

namespace korvane {

// The one-line header of the popup in search mode: it echoes what the user types into the other
// application (the popup never has the keyboard): a magnifier, the trigger, a scope chip, the query,
// a blinking caret, and the result count or a spinner while a search runs, over a hairline. Drawn by
// its host, which runs the caret's blink and the spinner. Main thread.
class SearchBarHeaderView {
public:
    static constexpr double rowHeight = 36;
    static constexpr double height = rowHeight + 1;
    static constexpr const char* disabledText = "disabled";

    struct Inputs {
        std::string query;
        std::optional<QueryChip> displayChip;
        const ScopeRegistry* scopeRegistry = nullptr;
        std::size_t resultCount = 0;
        std::string triggerText;
        bool isLoading = false;
        bool scopeDisabled = false;
    };

    explicit SearchBarHeaderView(Inputs inputs)
        : inputs_(std::move(inputs)) {}

    // `caretOpacity` runs from 0.7 to 0 and back while the caret blinks; `spinnerPhase` from 0 to 1.
    void paint(QPainter& painter, const QRectF& rect, const PaintContext& context, double caretOpacity,
               double spinnerPhase) const;

    // The chip's label and colour.
    static std::string chipLabel(const QueryChip& chip);
    static Color chipColor(const QueryChip& chip);
    // The query as shown: without a chip unchanged, with one the text after the scope token.
    std::string shownQuery() const;
    // What the header shows, as assistive technology reads it: the chip and whether it is disabled,
    // the query, and the result count ("@e disabled, 0 results", "beta, 3 results").
    std::string accessibleText() const;

private:
    Inputs inputs_;
};

} // namespace korvane
