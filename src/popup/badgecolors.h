#pragma once

#include "config/badgepalette.h"
#include "model/color.h"
#include "model/snippetsource.h"

namespace korvane {

// The colours of one source badge: its fill, its text, and whether the fill is drawn at all.
struct BadgeColors {
    Color background;
    Color text;
    bool hasBackground = false;

    bool operator==(const BadgeColors&) const = default;
};

// The soft colour of a source's badge.
Color badgeBaseColor(const SnippetSource& source);
// The vivid colour of a source's badge.
Color saturatedBadgeColor(const SnippetSource& source);

// The badge colours of `source` under `palette`, on a glass surface or a solid one.
BadgeColors badgeColors(BadgePalette palette, const SnippetSource& source, bool isGlass);

} // namespace korvane
