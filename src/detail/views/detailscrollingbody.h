#pragma once

#include "detail/views/detailpaintcursor.h"

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The detail panel's scrolling text: an optional heading and divider over one row per display line.
// The text is wrapped once per change of text or width and kept; a paint draws only the rows in view,
// so a preview of thousands of lines costs no more to repaint than a short one. Scrolling to a line
// eases out over 0.15 s. Main thread; owned by the panel of one detail column.
class DetailScrollingBody {
public:
    static constexpr double scrollSeconds = 0.15;
    static constexpr double headingGap = 6;

    explicit DetailScrollingBody(QWidget& column);

    // Takes `text` at `width` characters a line; true when the text differs from the one shown
    // before (a new body starts at its top).
    bool setText(const std::string& text, int width);
    const std::vector<std::string>& lines() const { return lines_; }
    std::size_t segmentCount() const { return lines_.size(); }

    // Scrolls so that the line `position` (counted from 1; 0 counts as 1) stands at the top, as far as
    // the text reaches; a position past the last line moves nothing.
    void scrollTo(int position);
    // The offset in points of the text's top above the view's top, as last painted.
    double offset() const { return offset_; }

    // Fills the rest of the cursor's frame.
    void paint(DetailPaintCursor& cursor, const std::optional<std::string>& heading, bool forceDivider,
               double lineOpacity, bool focused);

private:
    double targetOffset(double headerHeight, double rowHeight, double maxOffset) const;

    QPointer<QWidget> column_;
    std::string text_;
    int width_ = 0;
    bool hasText_ = false;
    std::vector<std::string> lines_;
    std::optional<std::size_t> targetRow_;
    double offset_ = 0;
    double fromOffset_ = 0;
    double progress_ = 1;
    QVariantAnimation animation_;
};

} // namespace korvane
