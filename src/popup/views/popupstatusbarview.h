#pragma once

#include "popup/views/paintcontext.h"

#include <QRectF>
#include <optional>
#include <string>

namespace korvane {

// The thin bar along the bottom of the popup: a hairline, then the context text on the left and the
// keyboard hints on the right over the status fill; the hints keep their width and the context text
// gives way. Drawn by its host into a 25 pt strip. Main thread.
class PopupStatusBarView {
public:
    static constexpr double height = 25;
    static constexpr double rowHeight = 24;
    static constexpr double horizontalInset = 8;
    static constexpr double spacing = 4;

    PopupStatusBarView(std::optional<std::string> contextText, std::string keyboardHints)
        : contextText_(std::move(contextText))
        , keyboardHints_(std::move(keyboardHints)) {}

    void paint(QPainter& painter, const QRectF& rect, const PaintContext& context) const;

private:
    std::optional<std::string> contextText_;
    std::string keyboardHints_;
};

} // namespace korvane
