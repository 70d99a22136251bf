#pragma once

#include "popup/views/paintcontext.h"
#include "presentation/scopedefinition.h"

#include <QPainter>
#include <QRectF>
#include <algorithm>
#include <string>
#include <vector>

namespace korvane {

// The detail column's description of the selected scope row: its title (marked "active" when it is
// the scope applied to the query), its description, and its aliases, primary alias and sources.
// Drawn by its host into the column. Main thread.
class ScopeDetailPanelView {
public:
    static constexpr double inset = 14;
    static constexpr double spacing = 10;
    static constexpr double rowSpacing = 6;
    // The tag of the scope the query applies, here and on its row in the result list.
    static constexpr const char* activeTag = "active";

    ScopeDetailPanelView(ScopeDefinition scope, bool isActive)
        : scope_(std::move(scope))
        , isActive_(isActive) {}

    void paint(QPainter& painter, const QRectF& rect, const PaintContext& context) const;
    std::string accessibleName() const {
        return "Scope details for " + scope_.title + (isActive_ ? std::string(", ") + activeTag : "");
    }

    // Text sizes for the theme's font size: the small titles and the badge never go below 9.
    static double rowTitleSize(double fontSize) { return std::max(fontSize - 5, 9.0); }
    static double badgeSize(double fontSize) { return std::max(fontSize - 4, 9.0); }
    // The sources a scope selects, one label each, as the panel lists them.
    static std::string sourceLabels(const std::vector<SnippetSource>& sources);

private:
    ScopeDefinition scope_;
    bool isActive_;
};

} // namespace korvane
