#include "popup/badgecolors.h"

#include "popup/namedcolors.h"

namespace korvane {

Color badgeBaseColor(const SnippetSource& source) {
    using Kind = SnippetSource::Kind;
    switch (source.kind()) {
    case Kind::manual:
        return namedColor(NamedColor::orange);
    case Kind::claudeSkill:
        return namedColor(NamedColor::purple);
    case Kind::aiDoc:
        return namedColor(NamedColor::indigo);
    case Kind::envVar:
        return namedColor(NamedColor::green);
    case Kind::gitRef:
    case Kind::gitRemote:
        return Color{0.9, 0.35, 0.35, 1};
    case Kind::npmScript:
        return namedColor(NamedColor::cyan);
    case Kind::makeTarget:
        return namedColor(NamedColor::orange);
    case Kind::filePath:
        return namedColor(NamedColor::teal);
    case Kind::custom:
        return namedColor(NamedColor::blue);
    }
    return namedColor(NamedColor::blue);
}

Color saturatedBadgeColor(const SnippetSource& source) {
    using Kind = SnippetSource::Kind;
    switch (source.kind()) {
    case Kind::gitRef:
    case Kind::gitRemote:
        return namedColor(NamedColor::red);
    case Kind::makeTarget:
        return namedColor(NamedColor::yellow);
    default:
        return badgeBaseColor(source);
    }
}

BadgeColors badgeColors(BadgePalette palette, const SnippetSource& source, bool isGlass) {
    switch (palette) {
    case BadgePalette::pastel: {
        const Color base = badgeBaseColor(source);
        return {withOpacity(base, isGlass ? 0.12 : 0.15), withOpacity(base, isGlass ? 0.9 : 0.85), true};
    }
    case BadgePalette::saturated:
        return {withOpacity(saturatedBadgeColor(source), isGlass ? 0.7 : 0.5),
                withOpacity(namedColor(NamedColor::white), 0.9), true};
    case BadgePalette::minimal:
        break;
    }
    return {namedColor(NamedColor::clear), withOpacity(badgeBaseColor(source), isGlass ? 0.85 : 0.9), false};
}

} // namespace korvane
