#pragma once

#include "base/textrange.h"
#include "model/snippet.h"
#include "popup/rowlabel.h"
#include "popup/views/paintcontext.h"

#include <QRectF>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

// Finds a highlighted label in the popup's label cache, or builds and stores it: given the key's
// parts (id, ranges, glass flag, font size) and the build function.
using LabelCacheFunction = std::function<std::vector<LabelRun>(
    const std::string& id, const TextRanges& ranges, bool isGlass, double fontSize,
    const std::function<std::vector<LabelRun>()>& build)>;

// Draws one snippet result of the search list: its label with the matched characters set heavier
// (a file path shortened first), its source badge with the URL marker, and the selection behind.
// The list fixes the row's height. Main thread.
class SnippetRowView {
public:
    enum class BadgePosition { leading, trailing };

    static constexpr double horizontalInset = 12;
    static constexpr double spacing = 6;

    SnippetRowView(const Snippet& snippet, const TextRanges& matchRanges, bool isSelected,
                   BadgePosition badgePosition)
        : snippet_(snippet)
        , matchRanges_(matchRanges)
        , isSelected_(isSelected)
        , badgePosition_(badgePosition) {}

    void paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
               const LabelCacheFunction& labelCache = {}) const;

    // The label's runs as drawn, through the cache when there is one.
    std::vector<LabelRun> labelRuns(const PaintContext& context, const LabelCacheFunction& labelCache) const;
    // The badge's width with its insets.
    double badgeWidth(const PaintContext& context) const;

private:
    void paintBadge(QPainter& painter, const QRectF& rect, const PaintContext& context) const;
    QFont badgeFont(const PaintContext& context) const;

    const Snippet& snippet_;
    const TextRanges& matchRanges_;
    bool isSelected_;
    BadgePosition badgePosition_;
};

} // namespace korvane
